/* The C heap over the process heap, which every Windows 9x version has. The process heap
 * promises no alignment (32-bit Wine's blocks are 8-byte aligned), so every block is cut out of
 * a larger one at the alignment the runtime guarantees (runtime9x.h): the bytes in front of the
 * block pad it to that alignment and end with the address of the process heap's block. */
#include <windows.h>

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "runtime9x.h"

/* The process heap's block that holds a block of ours. */
static void* heapBlockOf(void* block) {
    return ((void**)block)[-1];
}

/* A block of `bytes` aligned to `alignment` (a power of two no smaller than a pointer). */
static void* alignedBlock(size_t bytes, size_t alignment, DWORD flags) {
    const size_t padding = alignment - 1 + sizeof(void*);
    if (bytes > (size_t)-1 - padding) {
        return NULL;
    }
    char* heapBlock = (char*)HeapAlloc(GetProcessHeap(), flags, bytes + padding);
    if (heapBlock == NULL) {
        return NULL;
    }
    const uintptr_t at =
        ((uintptr_t)heapBlock + sizeof(void*) + alignment - 1) & ~(uintptr_t)(alignment - 1);
    void* block = heapBlock + (at - (uintptr_t)heapBlock);
    ((void**)block)[-1] = heapBlock;
    return block;
}

void* malloc(size_t bytes) {
    return alignedBlock(bytes, HeapAlignment, 0);
}

void* calloc(size_t count, size_t size) {
    if (size != 0 && count > (size_t)-1 / size) {
        return NULL;
    }
    return alignedBlock(count * size, HeapAlignment, HEAP_ZERO_MEMORY);
}

void free(void* block) {
    if (block != NULL) {
        HeapFree(GetProcessHeap(), 0, heapBlockOf(block));
    }
}

/* A new block, the old one's bytes copied as far as both reach, the old one freed: moving the
 * process heap's block could change its padding, so nothing is resized in place. */
void* realloc(void* block, size_t bytes) {
    if (block == NULL) {
        return malloc(bytes);
    }
    if (bytes == 0) {
        free(block);
        return NULL;
    }
    void* moved = malloc(bytes);
    if (moved == NULL) {
        return NULL;
    }
    char* heapBlock = (char*)heapBlockOf(block);
    const size_t held =
        HeapSize(GetProcessHeap(), 0, heapBlock) - (size_t)((char*)block - heapBlock);
    memcpy(moved, block, held < bytes ? held : bytes);
    free(block);
    return moved;
}

void* alignedMalloc(size_t bytes, size_t alignment) {
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) {
        return NULL;
    }
    return alignedBlock(bytes, alignment > HeapAlignment ? alignment : HeapAlignment, 0);
}

#ifdef _WIN32
/* libstdc++'s operator new and delete with an alignment argument call MSVCRT's _aligned_malloc
 * and _aligned_free through import pointers, as if from MSVCRT.DLL: here they lead to the
 * runtime's own heap, where free takes every block. */
void* (*_imp___aligned_malloc)(size_t, size_t) = alignedMalloc;
void (*_imp___aligned_free)(void*) = free;
#endif
