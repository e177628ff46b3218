#include "package/firmware_area.h"

#include <cstring>

namespace package {
namespace {

// Every field is a byte array, so the members follow each other with no padding; the first
// slot starts at offset 15.
struct PackageArea {
    unsigned char startKeyword[KeywordSize];
    unsigned char zolk[ImageSize];
    unsigned char nonZolk[ImageSize];
    unsigned char endKeyword[EndKeywordSize];
};
static_assert(sizeof(PackageArea) == AreaSize, "the package area has no gaps");

const char TemplateMarker[] = "PELO01";

} // namespace

// Not const: an initialised, writable object lands in the data section with every byte
// (zeros included) stored in the file, where the builder overwrites the slots.
PackageArea kxdPackageArea = {"BIN-START-ADDR", "PELO01", {0}, "BIN-END-ADDR"};

namespace {
// Reading the area's address from a volatile pointer keeps the optimiser, link-time
// optimisation included, from folding reads of bytes that a builder changes after the link.
PackageArea* volatile areaAddress = &kxdPackageArea;

const PackageArea& area() {
    return *areaAddress;
}
} // namespace

const unsigned char* startKeyword() {
    return area().startKeyword;
}
const unsigned char* zolkImage() {
    return area().zolk;
}
const unsigned char* nonZolkImage() {
    return area().nonZolk;
}

bool isTemplate() {
    return std::memcmp(area().zolk, TemplateMarker, MarkerSize) == 0;
}

KeywordScan::KeywordScan() : keyword_(startKeyword()) {
    fallback_[0] = 0;
    std::size_t length = 0;
    for (std::size_t i = 1; i < KeywordSize; ++i) {
        while (length > 0 && keyword_[i] != keyword_[length]) {
            length = fallback_[length - 1];
        }
        if (keyword_[i] == keyword_[length]) {
            ++length;
        }
        fallback_[i] = length;
    }
}

bool KeywordScan::feed(unsigned char byte) {
    while (matched_ > 0 && byte != keyword_[matched_]) {
        matched_ = fallback_[matched_ - 1];
    }
    if (byte == keyword_[matched_]) {
        ++matched_;
    }
    return matched_ == KeywordSize;
}

long long findFirstSlot(const unsigned char* data, std::size_t size) {
    KeywordScan scan;
    for (std::size_t at = 0; at < size; ++at) {
        if (scan.feed(data[at])) {
            return static_cast<long long>(at + 1);
        }
    }
    return -1;
}

} // namespace package
