// A flasher's evidence that its file still holds the bytes its builder wrote: the standard
// checksum of the executable (the CheckSum field of the PE optional header, computed as the
// system's image-checksum routine computes it, so that ordinary PE tools verify it too). The
// builder stores it in every flasher it writes; a flasher checks its own file against it before
// anything reaches the drive.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/files.h"

namespace package {

// The image checksum over a file fed in order, from its first byte: the 16-bit words of the
// file added with end-around carry, the checksum field's own four bytes counted as zero, plus
// the file's length.
class ImageChecksum {
public:
    // `fieldOffset`: where the file's checksum field lies; -1 when it has none.
    explicit ImageChecksum(long long fieldOffset = -1) : field_(fieldOffset) {}
    // The next `size` bytes of the file.
    void add(const unsigned char* data, std::size_t size);
    // The words so far, folded to 16 bits (before the length is added).
    uint32_t wordSum() const { return fold(sum_); }
    // The same before folding: sums of parts of a file add up to the whole file's.
    uint64_t rawSum() const { return sum_; }
    long long length() const { return length_; }
    uint32_t value() const { return wordSum() + static_cast<uint32_t>(length_); }

    // Folds a sum of 16-bit words to 16 bits, carry by carry.
    static uint32_t fold(uint64_t sum);
    // What `size` bytes at file offset `offset` add to a sum of words (not folded).
    static uint64_t bytesSum(long long offset, const unsigned char* data, std::size_t size);

private:
    long long field_;
    long long length_ = 0;
    uint64_t sum_ = 0;
};

// Offset of the checksum field in a file whose first `size` bytes are `head`, or -1 when those
// bytes are not the headers of a PE executable (MZ header, PE signature, a 32- or 64-bit
// optional header that reaches the field).
long long checksumFieldOffset(const unsigned char* head, std::size_t size);
constexpr std::size_t ChecksumFieldSize = 4;

// Computes the checksum of a whole executable held in memory and stores it in its field; false
// (and nothing changed) when the bytes are no PE executable.
bool sealExecutable(unsigned char* file, std::size_t size);

// What a flasher tells when its file is damaged, or cannot be read to be checked.
extern const char* const DamagedFlasherText;
extern const char* const UnreadableFlasherText;

enum class SelfCheck {
    // The file carries no checksum of its own, so there is nothing to hold it to: the field is 0,
    // or it holds the checksum of the template the file was made from (flashers made by an
    // earlier builder, which copied the template's field), or the template itself.
    NoChecksum,
    Intact,     // the checksum matches: the file is what its builder wrote
    Damaged,    // it does not (a changed byte, a cut-off file), or the headers are gone
    Unreadable, // the file could not be read to its end
};

// Reads the executable from its first byte to its end and holds it to its checksum. The file is
// left open for its owner to close.
SelfCheck checkExecutable(platform::InputFile& file);

// What a flasher says instead of writing after the check (damaged, unreadable); null when the
// check lets it write.
const char* refusalOf(SelfCheck result);

} // namespace package
