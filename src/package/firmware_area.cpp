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

} // namespace

const unsigned char TemplateMarker[MarkerSize] = {'P', 'E', 'L', 'O', '0', '1'};

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
    return isTemplateSlot(area().zolk);
}

bool isTemplateSlot(const unsigned char* firstSlot) {
    return std::memcmp(firstSlot, TemplateMarker, MarkerSize) == 0;
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

std::size_t KeywordScan::find(const unsigned char* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) {
        if (matched_ == 0) {
            // Nothing matched yet: straight to the next candidate for the keyword's first byte.
            const void* next = std::memchr(data + at, keyword_[0], size - at);
            if (next == nullptr) {
                return size;
            }
            at = static_cast<std::size_t>(static_cast<const unsigned char*>(next) - data);
        }
        if (feed(data[at])) {
            return at;
        }
        ++at;
    }
    return size;
}

long long findFirstSlot(const unsigned char* data, std::size_t size) {
    KeywordScan scan;
    const std::size_t at = scan.find(data, size);
    return at < size ? static_cast<long long>(at + 1) : -1;
}

} // namespace package
