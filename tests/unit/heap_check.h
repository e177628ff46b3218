// Many blocks of odd sizes from one set of allocation functions, alive together: each must be
// aligned and keep what was written into it (so no two overlap), also when resized. The unit
// tests run it on the Windows 9x runtime's heap over a process heap that misaligns on purpose,
// the runtime check on the i686 runtime under 32-bit Wine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace heapcheck {

struct Heap {
    const char* name;
    void* (*allocate)(std::size_t bytes, std::size_t alignment); // alignment 0: the default
    void (*release)(void* block, std::size_t bytes, std::size_t alignment);
    void* (*resize)(void* block, std::size_t bytes); // null: the heap has none
};

// The number of the first of `count` blocks found misaligned or changed, -1 when none was
// (blocks are released only then). Every fifth block is aligned above the default, every third
// resized.
inline int firstFault(const Heap& heap, std::size_t defaultAlignment, std::size_t count) {
    struct Block {
        unsigned char* at;
        std::size_t bytes, alignment;
    };
    std::vector<Block> blocks;
    const auto byte = [](std::size_t i, std::size_t k) {
        return static_cast<unsigned char>(i + k * 7);
    };
    const auto intact = [&](std::size_t i, std::size_t bytes) {
        const Block& b = blocks[i];
        std::size_t k = 0;
        while (b.at && k < bytes && b.at[k] == byte(i, k)) {
            ++k;
        }
        const std::size_t alignment = b.alignment ? b.alignment : defaultAlignment;
        return b.at && reinterpret_cast<std::uintptr_t>(b.at) % alignment == 0 && k == bytes;
    };
    const auto fill = [&](std::size_t i) {
        for (std::size_t k = 0; k < blocks[i].bytes; ++k) {
            blocks[i].at[k] = byte(i, k);
        }
    };
    for (std::size_t i = 0; i < count; ++i) {
        blocks.push_back({nullptr, (i * 7919 % 1021 | 1) + (i % 97 ? 0 : 65536),
                          i % 5 == 4 ? std::size_t{32} << (i / 5 % 4 * 2) : 0});
        Block& b = blocks[i];
        b.at = static_cast<unsigned char*>(heap.allocate(b.bytes, b.alignment));
        if (!intact(i, 0)) {
            return static_cast<int>(i);
        }
        fill(i);
        if (heap.resize && !b.alignment && i % 3 == 1) {
            const std::size_t kept = b.bytes;
            b.bytes = i % 2 ? kept * 3 + 2 : kept / 2 + 1;
            b.at = static_cast<unsigned char*>(heap.resize(b.at, b.bytes));
            if (!intact(i, kept < b.bytes ? kept : b.bytes)) {
                return static_cast<int>(i);
            }
            fill(i);
        }
    }
    int fault = -1;
    for (std::size_t i = 0; i < count; ++i) {
        fault = fault < 0 && !intact(i, blocks[i].bytes) ? static_cast<int>(i) : fault;
        heap.release(blocks[i].at, blocks[i].bytes, blocks[i].alignment);
    }
    return fault;
}

} // namespace heapcheck
