// The buffering and the closing every file implementation shares, so that the builder's
// byte-wise copy costs one system call per buffer: each implementation supplies only the raw
// transfer, the raw flush to disk and the raw close.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/files.h"

namespace platform {

// Large enough that a byte-wise copy costs one system call per 64 KiB; small enough for any
// machine the program runs on.
constexpr std::size_t FileBufferSize = 65536;

class BufferedInputFile : public InputFile {
public:
    std::size_t read(void* data, std::size_t count) final;
    bool close() final;

protected:
    BufferedInputFile() : buffer_(FileBufferSize) {}
    // Reads up to `count` bytes: the number read, 0 at the end of the file (or once it is
    // closed), -1 on a failure (after which nothing more is read).
    virtual long long readRaw(void* data, std::size_t count) = 0;
    // Lets the file go; false when it did not close cleanly. Called once, by close().
    virtual bool closeRaw() = 0;

private:
    std::vector<unsigned char> buffer_;
    std::size_t next_ = 0;
    std::size_t filled_ = 0;
    bool failed_ = false;
    bool closed_ = false;
};

class BufferedOutputFile : public OutputFile {
public:
    bool write(const void* data, std::size_t count) final;
    // Writes out what is buffered, then the bytes in place.
    bool writeAt(long long offset, const void* data, std::size_t count) final;
    // Writes out what is buffered, then has the system put the file on the disk; false when
    // that or any earlier write failed (and nothing is asked of the system then).
    bool flushToDisk() final;
    // Writes out what is buffered, then lets the file go; false when that, the close or any
    // earlier write failed. After it nothing more is written, and a later call gives the same
    // answer.
    bool close() final;

protected:
    BufferedOutputFile() : buffer_(FileBufferSize) {}
    // Writes all `count` bytes; false when it could not (a full disk included).
    virtual bool writeRaw(const unsigned char* data, std::size_t count) = 0;
    // Writes all `count` bytes at `offset` of what is written, leaving the end where it was.
    virtual bool writeRawAt(long long offset, const unsigned char* data, std::size_t count) = 0;
    // Has the system write everything written so far onto the disk; false when it could not.
    virtual bool flushRaw() = 0;
    // Lets the file go once everything is written; false when it did not close cleanly.
    // Called once, by close().
    virtual bool closeRaw() = 0;

private:
    // Writes out what is buffered; false when that or any earlier write failed.
    bool writeBuffer();

    std::vector<unsigned char> buffer_;
    std::size_t used_ = 0; // bytes of buffer_ waiting to be written
    bool failed_ = false;
    bool closed_ = false;
};

} // namespace platform
