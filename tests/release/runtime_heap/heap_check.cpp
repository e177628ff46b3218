// The heap of the Windows 9x release's own runtime as the release links it, run under 32-bit
// Wine: many blocks of odd sizes from malloc, calloc and realloc, and from every form of
// operator new and delete, with an alignment argument and without. Exit code 0 when no block
// was misaligned or changed; the first fault is printed.
#include <windows.h>

#include <cstdlib>
#include <new>
#include <string>

#include "heap_check.h"

namespace {

using std::size_t;

// Every form of operator new and delete in turn, chosen by the block's size: new plain or
// nothrow, delete plain, with the size or nothrow; with an alignment argument where `a` is
// not 0.
void* newOne(size_t n, size_t a) {
    const std::align_val_t al{a};
    return n % 4 == 1 ? (a ? operator new(n, al, std::nothrow) : operator new(n, std::nothrow))
                      : (a ? operator new(n, al) : operator new(n));
}
void deleteOne(void* p, size_t n, size_t a) {
    const std::align_val_t al{a};
    n % 3 == 0   ? (a ? operator delete(p, al) : operator delete(p))
    : n % 3 == 1 ? (a ? operator delete(p, n, al) : operator delete(p, n))
                 : (a ? operator delete(p, al, std::nothrow) : operator delete(p, std::nothrow));
}
void* newArray(size_t n, size_t a) {
    const std::align_val_t al{a};
    return n % 4 == 1 ? (a ? operator new[](n, al, std::nothrow) : operator new[](n, std::nothrow))
                      : (a ? operator new[](n, al) : operator new[](n));
}
void deleteArray(void* p, size_t n, size_t a) {
    const std::align_val_t al{a};
    n % 3 == 0 ? (a ? operator delete[](p, al) : operator delete[](p))
    : n % 3 == 1
        ? (a ? operator delete[](p, n, al) : operator delete[](p, n))
        : (a ? operator delete[](p, al, std::nothrow) : operator delete[](p, std::nothrow));
}

const heapcheck::Heap Heaps[] = {
    {"malloc, calloc, realloc, _aligned_malloc",
     [](size_t n, size_t a) {
         return a ? _aligned_malloc(n, a) : n % 3 ? malloc(n) : calloc(n, 1);
     },
     [](void* p, size_t, size_t a) { a ? _aligned_free(p) : free(p); }, realloc},
    {"operator new, delete", newOne, deleteOne, nullptr},
    {"operator new[], delete[]", newArray, deleteArray, nullptr},
};

} // namespace

int main() {
    std::string report;
    for (const heapcheck::Heap& heap : Heaps) {
        const int fault = heapcheck::firstFault(heap, 16, 3000);
        report += fault < 0 ? ""
                            : std::string(heap.name) + ": block " + std::to_string(fault) +
                                  " misaligned or changed\n";
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report.data(), static_cast<DWORD>(report.size()),
              &written, nullptr);
    return report.empty() ? 0 : 1;
}
