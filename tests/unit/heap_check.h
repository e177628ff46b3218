// Many blocks of odd sizes from one set of allocation functions, alive together: each must be
// aligned, keep what was written into it (so no two overlap) and keep its bytes when resized;
// zeroed ones start zeroed. The unit tests run it on the Windows 9x runtime's heap over a process
// heap that misaligns on purpose, the runtime check on the i686 runtime under 32-bit Wine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace heapcheck {

struct Heap {
    const char* name;
    void* (*allocate)(std::size_t bytes, std::size_t alignment); // alignment 0: the default
    void (*release)(void* block, std::size_t bytes, std::size_t alignment);
    void* (*zeroed)(std::size_t count, std::size_t size); // null: the heap has none
    void* (*resize)(void* block, std::size_t bytes);      // null: the heap has none
};

// The first fault found ("" when none): `count` blocks, every fifth with an alignment above
// the default one.
inline std::string check(const Heap& heap, std::size_t defaultAlignment, int count) {
    struct Block {
        unsigned char* at;
        std::size_t bytes;
        std::size_t alignment;
    };
    const std::size_t larger[] = {32, 64, 256, 4096};
    const auto byte = [](const Block& b, std::size_t i) {
        return static_cast<unsigned char>(reinterpret_cast<std::uintptr_t>(&b) + b.bytes + i * 7);
    };
    std::vector<Block> blocks(static_cast<std::size_t>(count));
    std::string fault;
    const auto fail = [&](const std::string& what, int i) {
        if (fault.empty()) {
            fault = std::string(heap.name) + ": block " + std::to_string(i) + ": " + what;
        }
        return false;
    };
    const auto aligned = [&](const Block& b, int i) {
        const std::size_t wanted = b.alignment ? b.alignment : defaultAlignment;
        return (b.at && reinterpret_cast<std::uintptr_t>(b.at) % wanted == 0) ||
               fail("not aligned to " + std::to_string(wanted) + " (" + std::to_string(b.bytes) +
                        " bytes)",
                    i);
    };
    const auto holds = [&](const Block& b, std::size_t bytes, int i) {
        std::size_t k = 0;
        while (k < bytes && b.at[k] == byte(b, k)) {
            ++k;
        }
        return k == bytes || fail("byte " + std::to_string(k) + " changed", i);
    };
    for (int i = 0; i < count && fault.empty(); ++i) {
        Block& b = blocks[static_cast<std::size_t>(i)];
        b.bytes = (static_cast<std::size_t>(i) * 7919 % 1021) | 1; // odd, 1 to 1021
        b.bytes += i % 97 == 0 ? 65536 : 0;
        b.alignment = i % 5 == 4 ? larger[(i / 5) % 4] : 0;
        const bool zero = heap.zeroed && i % 7 == 3 && !b.alignment;
        b.at = static_cast<unsigned char*>(zero ? heap.zeroed(b.bytes, 1)
                                                : heap.allocate(b.bytes, b.alignment));
        if (!aligned(b, i)) {
            break;
        }
        std::size_t zeros = 0;
        while (zero && zeros < b.bytes && b.at[zeros] == 0) {
            ++zeros;
        }
        if (zero && zeros != b.bytes) {
            fail("not zeroed", i);
        }
        for (std::size_t k = 0; k < b.bytes; ++k) {
            b.at[k] = byte(b, k);
        }
        if (heap.resize && i % 3 == 1 && !b.alignment) {
            const std::size_t kept = b.bytes;
            const std::size_t bytes = i % 2 ? kept * 3 + 2 : kept / 2 + 1;
            b.at = static_cast<unsigned char*>(heap.resize(b.at, bytes));
            if (!aligned(b, i)) {
                break;
            }
            holds(b, kept < bytes ? kept : bytes, i);
            b.bytes = bytes;
            for (std::size_t k = 0; k < b.bytes; ++k) {
                b.at[k] = byte(b, k);
            }
        }
        if (i % 4 == 2) { // holes between the blocks still alive
            Block& gone = blocks[static_cast<std::size_t>(i / 2)];
            holds(gone, gone.bytes, i / 2);
            heap.release(gone.at, gone.bytes, gone.alignment);
            gone.at = nullptr;
        }
    }
    for (int i = 0; i < count; ++i) {
        Block& b = blocks[static_cast<std::size_t>(i)];
        if (b.at) {
            holds(b, b.bytes, i);
            heap.release(b.at, b.bytes, b.alignment);
        }
    }
    return fault;
}

} // namespace heapcheck
