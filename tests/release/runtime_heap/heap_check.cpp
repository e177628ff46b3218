// The heap of the Windows 9x release's own runtime as the release links it, run under 32-bit
// Wine: many blocks of odd sizes from malloc, calloc and realloc, and from every form of
// operator new and delete, with an alignment argument and without. Prints the first fault;
// exit code 0 when there is none.
#include <windows.h>

#include <cstdlib>
#include <new>

#include "heap_check.h"

namespace {

std::align_val_t to(std::size_t alignment) {
    return static_cast<std::align_val_t>(alignment);
}

using heapcheck::Heap;
const Heap Heaps[] = {
    {"malloc",
     [](std::size_t n, std::size_t a) { return a ? _aligned_malloc(n, a) : std::malloc(n); },
     [](void* p, std::size_t, std::size_t a) { a ? _aligned_free(p) : std::free(p); }, std::calloc,
     std::realloc},
    {"new",
     [](std::size_t n, std::size_t a) { return a ? operator new(n, to(a)) : operator new(n); },
     [](void* p, std::size_t, std::size_t a) {
         a ? operator delete(p, to(a)) : operator delete(p);
     },
     nullptr, nullptr},
    {"new, sized delete",
     [](std::size_t n, std::size_t a) { return a ? operator new(n, to(a)) : operator new(n); },
     [](void* p, std::size_t n, std::size_t a) {
         a ? operator delete(p, n, to(a)) : operator delete(p, n);
     },
     nullptr, nullptr},
    {"new nothrow",
     [](std::size_t n, std::size_t a) {
         return a ? operator new(n, to(a), std::nothrow) : operator new(n, std::nothrow);
     },
     [](void* p, std::size_t, std::size_t a) {
         a ? operator delete(p, to(a), std::nothrow) : operator delete(p, std::nothrow);
     },
     nullptr, nullptr},
    {"new[]",
     [](std::size_t n, std::size_t a) { return a ? operator new[](n, to(a)) : operator new[](n); },
     [](void* p, std::size_t, std::size_t a) {
         a ? operator delete[](p, to(a)) : operator delete[](p);
     },
     nullptr, nullptr},
    {"new[], sized delete[]",
     [](std::size_t n, std::size_t a) { return a ? operator new[](n, to(a)) : operator new[](n); },
     [](void* p, std::size_t n, std::size_t a) {
         a ? operator delete[](p, n, to(a)) : operator delete[](p, n);
     },
     nullptr, nullptr},
    {"new[] nothrow",
     [](std::size_t n, std::size_t a) {
         return a ? operator new[](n, to(a), std::nothrow) : operator new[](n, std::nothrow);
     },
     [](void* p, std::size_t, std::size_t a) {
         a ? operator delete[](p, to(a), std::nothrow) : operator delete[](p, std::nothrow);
     },
     nullptr, nullptr},
};

} // namespace

int main() {
    std::string report;
    bool fine = true;
    for (const Heap& heap : Heaps) {
        const std::string fault = heapcheck::check(heap, 16, 2000);
        fine = fine && fault.empty();
        report +=
            fault.empty() ? std::string(heap.name) + ": 2000 blocks, no fault\n" : fault + "\n";
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), report.data(), static_cast<DWORD>(report.size()),
              &written, nullptr);
    return fine ? 0 : 1;
}
