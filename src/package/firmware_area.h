// The firmware package area: a start keyword and two image slots carried verbatim in the
// program's initialised data. A template has the marker at the start of its first slot; a
// flasher is the same file with two images in the slots.
#pragma once

#include <cstddef>
#include <cstdint>

namespace package {

constexpr std::size_t KeywordSize = 15; // "BIN-START-ADDR" and its NUL
constexpr std::size_t ImageSize = 262144;
constexpr std::size_t EndKeywordSize = 13; // "BIN-END-ADDR" and its NUL
constexpr std::size_t AreaSize = KeywordSize + 2 * ImageSize + EndKeywordSize;
constexpr std::size_t MarkerSize = 6;
// What a template holds at the start of its first slot (the rest of its slots are zeros).
extern const unsigned char TemplateMarker[MarkerSize];

// The area's own start keyword. Whoever looks for the keyword compares against these bytes, so
// that the executable holds the 15 bytes exactly once.
const unsigned char* startKeyword();

const unsigned char* zolkImage();
const unsigned char* nonZolkImage();

// Compares the first six bytes of the first slot with the marker, read at run time: a
// flasher is this very binary with other bytes in its slots.
bool isTemplate();
// The same test on the first slot of a file read by another program.
bool isTemplateSlot(const unsigned char* firstSlot);

// Finds the first occurrence of the start keyword in bytes fed one at a time. After a mismatch
// it falls back to the longest part of the keyword that the bytes seen so far still end with,
// so that a partial match never hides an occurrence that starts inside it.
class KeywordScan {
public:
    KeywordScan();
    // True when `byte` completes the keyword.
    bool feed(unsigned char byte);
    // The same over a run of bytes: the index of the byte that completes the keyword, or `size`
    // when none does (the match so far carries over to the next run).
    std::size_t find(const unsigned char* data, std::size_t size);

private:
    const unsigned char* keyword_;
    std::size_t fallback_[KeywordSize];
    std::size_t matched_ = 0;
};

// Offset of the first image slot in a file image: right after the first occurrence of the
// start keyword, or -1 when the keyword is absent.
long long findFirstSlot(const unsigned char* data, std::size_t size);

} // namespace package
