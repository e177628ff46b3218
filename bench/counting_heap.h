// What the program allocates while it flashes (not what the simulated bus does on its behalf):
// how many blocks, how many bytes, and the largest block, counted while `counting` holds.
#pragma once

#include <atomic>

namespace heap {
extern std::atomic<bool> counting;
extern std::atomic<long long> blocks, bytes, largest;
} // namespace heap
