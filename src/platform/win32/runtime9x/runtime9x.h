/* What the runtime's parts share, and what its heap guarantees. */
#pragma once

#include <stddef.h>

/* Every block that malloc, calloc and realloc return (and with them operator new) is aligned to
 * 16 bytes: the alignment the compiler assumes of operator new on this target
 * (__STDCPP_DEFAULT_NEW_ALIGNMENT__ is 16: a type aligned to 16 is made with the plain
 * operator new, only a larger alignment calls the one with an alignment argument), and that of
 * the largest type it knows (__BIGGEST_ALIGNMENT__). The compiler itself assumes less of
 * malloc (4 bytes, a word), and the process heap guarantees nothing of its own. */
enum { HeapAlignment = 16 };

/* A block of `bytes` aligned to `alignment`, a power of two (at least HeapAlignment); freed
 * with free. Null for another alignment or when the heap has no room. It serves operator new
 * with an alignment argument (std::align_val_t), in all its forms. */
void* alignedMalloc(size_t bytes, size_t alignment);

void runExitHandlers(void);
