#include "package/self_check.h"

#include <vector>

#include "package/firmware_area.h"

namespace package {

const char* const DamagedFlasherText =
    "This flasher is damaged: its file is not the one that was built. Nothing has been sent to "
    "the drive.\n\nCopy the flasher again from where it came from and run the new copy.";
const char* const UnreadableFlasherText =
    "This flasher cannot read its own file, so it cannot make sure that the file is whole. "
    "Nothing has been sent to the drive.\n\nCopy the flasher to the hard disk and run it from "
    "there.";

namespace {

constexpr std::size_t DosHeaderSize = 0x40;
constexpr std::size_t PeHeaderOffsetField = 0x3C;
constexpr std::size_t CoffHeaderSize = 20;
constexpr std::size_t OptionalHeaderSizeField = 16; // in the COFF header
constexpr std::size_t ChecksumInOptionalHeader = 64;
constexpr uint16_t Pe32Magic = 0x10B;
constexpr uint16_t Pe32PlusMagic = 0x20B;

// How much of the file goes through at a time.
constexpr std::size_t CheckBlock = 65536;

uint32_t le32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

} // namespace

uint64_t ImageChecksum::bytesSum(long long offset, const unsigned char* data, std::size_t size) {
    // A byte at an even offset is a word's low half, at an odd one its high half.
    uint64_t low = 0;
    uint64_t high = 0;
    std::size_t i = 0;
    if ((offset & 1) != 0 && size > 0) {
        high += data[0];
        i = 1;
    }
    for (; i + 1 < size; i += 2) {
        low += data[i];
        high += data[i + 1];
    }
    if (i < size) {
        low += data[i];
    }
    return low + (high << 8);
}

uint32_t ImageChecksum::fold(uint64_t sum) {
    while ((sum >> 16) != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint32_t>(sum);
}

void ImageChecksum::add(const unsigned char* data, std::size_t size) {
    const long long begin = length_;
    const long long end = begin + static_cast<long long>(size);
    if (field_ >= 0 && field_ < end && begin < field_ + static_cast<long long>(ChecksumFieldSize)) {
        // The field's own bytes count as zero: add the bytes around them.
        const long long cut = field_ > begin ? field_ : begin;
        const long long resume = field_ + static_cast<long long>(ChecksumFieldSize) < end
                                     ? field_ + static_cast<long long>(ChecksumFieldSize)
                                     : end;
        sum_ += bytesSum(begin, data, static_cast<std::size_t>(cut - begin));
        sum_ += bytesSum(resume, data + (resume - begin), static_cast<std::size_t>(end - resume));
    } else {
        sum_ += bytesSum(begin, data, size);
    }
    length_ = end;
}

long long checksumFieldOffset(const unsigned char* head, std::size_t size) {
    if (size < DosHeaderSize || head[0] != 'M' || head[1] != 'Z') {
        return -1;
    }
    const std::size_t pe = le32(head + PeHeaderOffsetField);
    const std::size_t optional = pe + 4 + CoffHeaderSize;
    const std::size_t field = optional + ChecksumInOptionalHeader;
    if (pe >= size || field + ChecksumFieldSize > size || le32(head + pe) != 0x00004550) {
        return -1;
    }
    const uint16_t magic = le16(head + optional);
    if ((magic != Pe32Magic && magic != Pe32PlusMagic) ||
        le16(head + pe + 4 + OptionalHeaderSizeField) <
            ChecksumInOptionalHeader + ChecksumFieldSize) {
        return -1;
    }
    return static_cast<long long>(field);
}

bool sealExecutable(unsigned char* file, std::size_t size) {
    const long long field = checksumFieldOffset(file, size);
    if (field < 0) {
        return false;
    }
    ImageChecksum checksum(field);
    checksum.add(file, size);
    const uint32_t value = checksum.value();
    for (std::size_t i = 0; i < ChecksumFieldSize; ++i) {
        file[static_cast<std::size_t>(field) + i] = static_cast<unsigned char>(value >> (8 * i));
    }
    return true;
}

SelfCheck checkExecutable(platform::InputFile& file) {
    const long long size = file.size();
    if (size < 0) {
        return SelfCheck::Unreadable;
    }
    std::vector<unsigned char> block(CheckBlock);
    // Each block whole, up to the length the file has: a short read is a file that cannot be
    // read to its end.
    const auto readBlock = [&](long long at) {
        const long long left = size - at;
        const std::size_t want =
            left < static_cast<long long>(CheckBlock) ? static_cast<std::size_t>(left) : CheckBlock;
        return file.read(block.data(), want) == want ? want : static_cast<std::size_t>(-1);
    };
    std::size_t got = readBlock(0);
    if (got == static_cast<std::size_t>(-1)) {
        return SelfCheck::Unreadable;
    }
    const long long field = checksumFieldOffset(block.data(), got);
    if (field < 0) {
        return SelfCheck::Damaged;
    }
    const uint32_t stored = le32(block.data() + field);
    if (stored == 0) {
        return SelfCheck::NoChecksum;
    }

    // The whole file, and apart from it the bytes of its image slots: the slots are where a
    // flasher differs from its template, so the two sums also give the template's checksum.
    ImageChecksum checksum(field);
    KeywordScan scan;
    long long slots = -1; // offset of the first image slot once the keyword has passed
    uint64_t slotSum = 0;
    for (long long at = 0;;) {
        checksum.add(block.data(), got);
        const long long end = at + static_cast<long long>(got);
        if (slots < 0) {
            const std::size_t keyword = scan.find(block.data(), got);
            if (keyword < got) {
                slots = at + static_cast<long long>(keyword) + 1;
            }
        }
        if (slots >= 0) {
            const long long from = slots > at ? slots : at;
            const long long slotsEnd = slots + static_cast<long long>(2 * ImageSize);
            const long long to = slotsEnd < end ? slotsEnd : end;
            if (from < to) {
                slotSum += ImageChecksum::bytesSum(from, block.data() + (from - at),
                                                   static_cast<std::size_t>(to - from));
            }
        }
        at = end;
        if (at >= size) {
            break;
        }
        got = readBlock(at);
        if (got == static_cast<std::size_t>(-1)) {
            return SelfCheck::Unreadable;
        }
    }
    if (checksum.value() == stored) {
        return SelfCheck::Intact;
    }
    // A flasher made before flashers were sealed carries its template's checksum: the file's
    // sum with the template's slots in place of its own.
    if (slots >= 0 && slots + static_cast<long long>(2 * ImageSize) <= size) {
        const uint64_t asTemplate = checksum.rawSum() - slotSum +
                                    ImageChecksum::bytesSum(slots, TemplateMarker, MarkerSize);
        if (ImageChecksum::fold(asTemplate) + static_cast<uint32_t>(size) == stored) {
            return SelfCheck::NoChecksum;
        }
    }
    return SelfCheck::Damaged;
}

const char* refusalOf(SelfCheck result) {
    switch (result) {
    case SelfCheck::NoChecksum:
    case SelfCheck::Intact:
        return nullptr;
    case SelfCheck::Damaged:
        return DamagedFlasherText;
    case SelfCheck::Unreadable:
        break;
    }
    return UnreadableFlasherText;
}

} // namespace package
