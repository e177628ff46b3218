/* The C heap over the process heap, which every Windows 9x version has. */
#include <windows.h>

#include <stdlib.h>

void* malloc(size_t bytes) {
    return HeapAlloc(GetProcessHeap(), 0, bytes != 0 ? bytes : 1);
}

void* calloc(size_t count, size_t size) {
    if (size != 0 && count > (size_t)-1 / size) {
        return NULL;
    }
    const size_t bytes = count * size;
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes != 0 ? bytes : 1);
}

void* realloc(void* block, size_t bytes) {
    if (block == NULL) {
        return malloc(bytes);
    }
    if (bytes == 0) {
        free(block);
        return NULL;
    }
    return HeapReAlloc(GetProcessHeap(), 0, block, bytes);
}

void free(void* block) {
    if (block != NULL) {
        HeapFree(GetProcessHeap(), 0, block);
    }
}
