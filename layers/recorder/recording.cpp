#include "recording.h"

#include <algorithm>
#include <cstring>

namespace recorder {

namespace trace = aspi::trace;

bool Recording::begin(const std::vector<std::string>& comments) {
    bool written = commit(trace::headerLine());
    for (const std::string& c : comments) {
        written = written && commit("# " + c);
    }
    writeTail();
    return written && !failed_;
}

void Recording::note(const std::string& comment) {
    commit("# " + comment);
    writeTail();
}

void Recording::support(int64_t at, uint32_t value) {
    commit(trace::supportLine(at, value));
    writeTail();
}

void Recording::submitted(const trace::Request& request) {
    pending_.push_back(request);
    writeTail();
}

void Recording::completed(const trace::Request& request) {
    pending_.erase(
        std::remove_if(pending_.begin(), pending_.end(),
                       [&request](const trace::Request& p) { return p.number == request.number; }),
        pending_.end());
    // The lost ones are named at the first chance, before the next request.
    if (!unnamed_.empty() && commit(trace::lostLine(unnamed_))) {
        unnamed_.clear();
    }
    const uint64_t sideBefore = sideEnd_;
    const std::size_t blocksBefore = sideBlocks_.size();
    const std::string line = requestLine(request);
    if (line.empty() || !commit(line)) {
        // Whole lines only: what this request put into the side file goes as well.
        sideEnd_ = sideBefore;
        sideBlocks_.resize(blocksBefore);
        side_.truncate(sideEnd_);
        lost_.push_back(request.number);
        unnamed_.push_back(request.number);
        failed_ = true;
    }
    writeTail();
}

bool Recording::commit(const std::string& line) {
    const std::string bytes = line + "\r\n";
    if (!text_.writeAt(textEnd_, bytes.data(), bytes.size())) {
        text_.truncate(textEnd_);
        failed_ = true;
        return false;
    }
    textEnd_ += bytes.size();
    crc_ = trace::lineCrc(line, crc_);
    return true;
}

std::string Recording::requestLine(const trace::Request& request) {
    bool sideWritten = true;
    const trace::SideWriter side = [this, &sideWritten](const uint8_t* data, std::size_t length) {
        const uint32_t crc = trace::crc32(data, length);
        for (const SideBlock& block : sideBlocks_) {
            if (block.crc == crc && block.bytes.size() == length &&
                std::memcmp(block.bytes.data(), data, length) == 0) {
                return block.offset;
            }
        }
        const uint64_t at = sideEnd_;
        if (!side_.writeAt(at, data, length)) {
            sideWritten = false;
            return at;
        }
        sideBlocks_.push_back(SideBlock{crc, at, std::vector<uint8_t>(data, data + length)});
        sideEnd_ += length;
        return at;
    };
    std::string line = trace::requestLine(request, side);
    return sideWritten ? line : std::string();
}

void Recording::writeTail() {
    std::string tail;
    uint32_t crc = crc_;
    const auto add = [&tail, &crc](const std::string& line) {
        tail += line + "\r\n";
        crc = trace::lineCrc(line, crc);
    };
    for (const trace::Request& p : pending_) {
        const std::string line = requestLine(p);
        if (line.empty()) {
            failed_ = true;
            text_.truncate(textEnd_); // no end line: the recording reads as cut off
            return;
        }
        add(line);
    }
    if (!unnamed_.empty()) {
        add(trace::lostLine(unnamed_));
    }
    tail += trace::endLine(crc) + "\r\n";
    if (!text_.writeAt(textEnd_, tail.data(), tail.size())) {
        failed_ = true;
        text_.truncate(textEnd_);
        return;
    }
    text_.truncate(textEnd_ + tail.size());
}

} // namespace recorder
