// The benchmarks' operator new and delete: malloc and free, counting what is allocated while a
// measurement asks for it, outside the simulated bus.
#include "counting_heap.h"

#include <cstdlib>
#include <new>

#include "sim/inprocess/inprocess_aspi.h"

namespace heap {
std::atomic<bool> counting{false};
std::atomic<long long> blocks{0}, bytes{0}, largest{0};
} // namespace heap

void* operator new(std::size_t size) {
    if (heap::counting && !sim::InProcessAspi::simulating()) {
        ++heap::blocks;
        heap::bytes += static_cast<long long>(size);
        if (static_cast<long long>(size) > heap::largest) {
            heap::largest = static_cast<long long>(size);
        }
    }
    if (void* block = std::malloc(size != 0 ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
