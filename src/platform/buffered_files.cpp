#include "platform/buffered_files.h"

#include <cstring>

namespace platform {

std::size_t BufferedInputFile::read(void* data, std::size_t count) {
    auto* out = static_cast<unsigned char*>(data);
    if (count <= filled_ - next_) {
        // A byte-wise copy ends up here for all but one byte a buffer.
        std::memcpy(out, buffer_.data() + next_, count);
        next_ += count;
        return count;
    }
    std::size_t done = 0;
    while (done < count) {
        if (next_ == filled_) {
            if (failed_) {
                break;
            }
            const long long got = readRaw(buffer_.data(), buffer_.size());
            if (got < 0) {
                failed_ = true;
            }
            if (got <= 0) {
                break;
            }
            next_ = 0;
            filled_ = static_cast<std::size_t>(got);
        }
        std::size_t take = filled_ - next_;
        if (take > count - done) {
            take = count - done;
        }
        std::memcpy(out + done, buffer_.data() + next_, take);
        next_ += take;
        done += take;
    }
    return done;
}

bool BufferedInputFile::close() {
    if (closed_) {
        return true;
    }
    closed_ = true;
    return closeRaw();
}

bool BufferedOutputFile::write(const void* data, std::size_t count) {
    if (failed_ || closed_) {
        return false;
    }
    const auto* in = static_cast<const unsigned char*>(data);
    if (count <= FileBufferSize - used_) {
        // A byte-wise copy ends up here for every byte: no more than a copy into the buffer.
        std::memcpy(buffer_.data() + used_, in, count);
        used_ += count;
        return true;
    }
    // A block larger than the buffer goes out in one piece after what is buffered.
    if (!writeBuffer()) {
        return false;
    }
    if (count >= FileBufferSize) {
        if (!writeRaw(in, count)) {
            failed_ = true;
        }
        return !failed_;
    }
    std::memcpy(buffer_.data(), in, count);
    used_ = count;
    return true;
}

bool BufferedOutputFile::writeAt(long long offset, const void* data, std::size_t count) {
    if (closed_ || !writeBuffer()) {
        return false;
    }
    if (!writeRawAt(offset, static_cast<const unsigned char*>(data), count)) {
        failed_ = true;
    }
    return !failed_;
}

bool BufferedOutputFile::flushToDisk() {
    if (closed_ || !writeBuffer()) {
        return false;
    }
    if (!flushRaw()) {
        failed_ = true;
    }
    return !failed_;
}

bool BufferedOutputFile::close() {
    if (closed_) {
        return !failed_;
    }
    bool ok = writeBuffer();
    ok = closeRaw() && ok;
    closed_ = true;
    if (!ok) {
        failed_ = true;
    }
    return ok;
}

bool BufferedOutputFile::writeBuffer() {
    if (!failed_ && used_ != 0 && !writeRaw(buffer_.data(), used_)) {
        failed_ = true;
    }
    used_ = 0;
    return !failed_;
}

} // namespace platform
