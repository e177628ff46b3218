#include "aspi/session_recorder.h"

#include <cstring>

namespace aspi::trace {

Request requestOf(const RequestBlock& block, int number, int64_t at) {
    Request r;
    r.number = number;
    r.submitted = at;
    r.hostAdapter = block.SRB_HaId;
    r.target = block.SRB_Target;
    r.lun = block.SRB_Lun;
    r.flags = block.SRB_Flags;
    r.dataLength = block.SRB_BufLen;
    const std::size_t cdbLength = block.SRB_CDBLen <= 16 ? block.SRB_CDBLen : 16;
    r.cdb.assign(block.CDBByte, block.CDBByte + (cdbLength != 0 ? cdbLength : 1));
    r.direction = directionOf(block.SRB_Flags, block.CDBByte[0], block.SRB_BufLen);
    if (r.direction == Direction::Out && block.SRB_BufLen != 0 && block.SRB_BufPointer != nullptr) {
        const auto* data = static_cast<const uint8_t*>(block.SRB_BufPointer);
        r.dataOut.assign(data, data + block.SRB_BufLen);
    }
    return r;
}

void recordOutcome(Request& r, const RequestBlock& answered, const uint8_t* before,
                   const uint8_t* after, int64_t at) {
    r.completed = at;
    if (r.direction != Direction::Out && before != nullptr && after != nullptr &&
        std::memcmp(before, after, r.dataLength) != 0) {
        r.dataIn.assign(after, after + r.dataLength);
    }
    r.status = loadStatus(answered);
    r.hostStatus = answered.SRB_HaStat;
    r.targetStatus = answered.SRB_TargStat;
    const uint8_t* sense = answered.SenseArea;
    for (std::size_t i = 0; i < sizeof answered.SenseArea; ++i) {
        if (sense[i] != 0) {
            r.sense.assign(sense, sense + sizeof answered.SenseArea);
            break;
        }
    }
}

SessionRecorder::SessionRecorder(std::unique_ptr<platform::OutputFile> text,
                                 std::unique_ptr<platform::OutputFile> side)
    : text_(std::move(text)), side_(std::move(side)) {
    line(headerLine());
}

void SessionRecorder::lock() {
    while (busy_.test_and_set(std::memory_order_acquire)) {
    }
}

void SessionRecorder::unlock() {
    busy_.clear(std::memory_order_release);
}

void SessionRecorder::line(const std::string& text) {
    if (!closed_) {
        const std::string withEnd = text + "\r\n";
        failed_ = !text_->write(withEnd.data(), withEnd.size()) || failed_;
    }
}

uint64_t SessionRecorder::appendSide(const uint8_t* data, std::size_t length) {
    const uint32_t crc = crc32(data, length);
    for (const SideBlock& block : sideBlocks_) {
        if (block.crc == crc && block.bytes.size() == length &&
            std::memcmp(block.bytes.data(), data, length) == 0) {
            return block.offset;
        }
    }
    const uint64_t at = sideSize_;
    sideBlocks_.push_back(SideBlock{crc, at, std::vector<uint8_t>(data, data + length)});
    failed_ = !side_->write(data, length) || failed_;
    sideSize_ += length;
    return at;
}

void SessionRecorder::comment(const std::string& text) {
    lock();
    line("# " + text);
    unlock();
}

void SessionRecorder::support(int64_t at, uint32_t value) {
    lock();
    line(supportLine(at, value));
    unlock();
}

int SessionRecorder::sent(const RequestBlock& block, int64_t at) {
    lock();
    const int number = ++requests_;
    pending_.push_back(requestOf(block, number, at));
    unlock();
    return number;
}

void SessionRecorder::done(int number, const RequestBlock& answered, const uint8_t* before,
                           const uint8_t* after, int64_t at) {
    lock();
    for (auto it = pending_.begin(); it != pending_.end(); ++it) {
        if (it->number == number) {
            recordOutcome(*it, answered, before, after, at);
            line(requestLine(*it, [this](const uint8_t* data, std::size_t length) {
                return appendSide(data, length);
            }));
            pending_.erase(it);
            break;
        }
    }
    unlock();
}

bool SessionRecorder::close() {
    lock();
    if (closed_) {
        unlock();
        return !failed_;
    }
    // Whatever the layer never completed is written as pending.
    for (const Request& r : pending_) {
        line(requestLine(r, [this](const uint8_t* data, std::size_t length) {
            return appendSide(data, length);
        }));
    }
    line("# end");
    closed_ = true;
    const bool textClosed = text_->close();
    const bool sideClosed = side_->close();
    failed_ = failed_ || !textClosed || !sideClosed;
    const bool ok = !failed_;
    unlock();
    return ok;
}

} // namespace aspi::trace
