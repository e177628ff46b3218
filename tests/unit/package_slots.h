// Lets a test put bytes into the program's own image slots and puts the template's bytes back
// afterwards, so that other tests still see a template. The package area is a writable object
// (the builder overwrites it in the file); only its address is handed out as const.
#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

#include "package/firmware_area.h"

class PackageSlots {
public:
    PackageSlots() : saved_(slots(), slots() + 2 * package::ImageSize) {}
    ~PackageSlots() { std::memcpy(slots(), saved_.data(), saved_.size()); }
    PackageSlots(const PackageSlots&) = delete;
    PackageSlots& operator=(const PackageSlots&) = delete;

    // `offset` counts from the start of the first slot.
    void put(std::size_t offset, const void* data, std::size_t size) {
        std::memcpy(slots() + offset, data, size);
    }

private:
    static unsigned char* slots() { return const_cast<unsigned char*>(package::zolkImage()); }
    std::vector<unsigned char> saved_;
};
