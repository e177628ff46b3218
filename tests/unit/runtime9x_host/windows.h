/* The process heap functions that the Windows 9x runtime's heap calls, declared for the host:
 * the unit tests define them (runtime9x_test.cpp). */
#pragma once

#include <stddef.h>

typedef unsigned long DWORD;
typedef size_t SIZE_T;
typedef int BOOL;
typedef void* HANDLE;

#define HEAP_ZERO_MEMORY 0x00000008

#ifdef __cplusplus
extern "C" {
#endif
HANDLE GetProcessHeap(void);
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, void* block);
SIZE_T HeapSize(HANDLE heap, DWORD flags, const void* block);
#ifdef __cplusplus
}
#endif
