// The recording layer's two files, kept whole at every step: whatever moment the process ends
// at, the text holds the requests completed so far, the ones still pending (as pending) and the
// end line with its checksum, and the side file every block they name. Apart from Windows: the
// layer (recorder.cpp) gives it the files, the unit tests files of their own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aspi/session_trace.h"

namespace recorder {

// A file written at given offsets; each call writes all of it or reports failure.
class File {
public:
    virtual ~File() = default;
    virtual bool writeAt(uint64_t offset, const void* data, std::size_t length) = 0;
    // Cuts the file to `length` bytes.
    virtual bool truncate(uint64_t length) = 0;
};

class Recording {
public:
    Recording(File& text, File& side) : text_(text), side_(side) {}

    // The header and comment lines (without "# "); false when they could not be written.
    bool begin(const std::vector<std::string>& comments);
    void note(const std::string& comment);
    void support(int64_t at, uint32_t value);
    // A request handed to the system's layer: written as pending until it completes.
    void submitted(const aspi::trace::Request& request);
    // Its outcome: written for good, before the requests still pending.
    void completed(const aspi::trace::Request& request);

    // Request numbers whose lines could not be written; named by a `lost` line at the next
    // chance (and in the end lines until then).
    const std::vector<int>& lost() const { return lost_; }
    // A write failed at some point (what could not be written is in lost()).
    bool failed() const { return failed_; }

private:
    struct SideBlock {
        uint32_t crc;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };

    // Appends a line after those written for good; false (the text as it was) when it could not.
    bool commit(const std::string& line);
    // A request's line, its blocks put into the side file; empty when they could not be.
    std::string requestLine(const aspi::trace::Request& request);
    // Rewrites what follows the lines written for good: the pending requests, the lost ones
    // not yet named, the end line.
    void writeTail();

    File& text_;
    File& side_;
    uint64_t textEnd_ = 0; // the lines written for good end here
    uint32_t crc_ = 0;     // ... and have this checksum
    uint64_t sideEnd_ = 0;
    std::vector<SideBlock> sideBlocks_;
    std::vector<aspi::trace::Request> pending_;
    std::vector<int> lost_;
    std::vector<int> unnamed_; // lost, and not yet named by a line written for good
    bool failed_ = false;
};

} // namespace recorder
