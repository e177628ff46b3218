// Writing a recorded session (session_trace.h) as a program's requests go by: the header, the
// support answer, each request when its outcome is known, and at the end the requests that
// never got one. A data block longer than InlineData goes to the side file once, and a block
// that is there already (a block written and the same block read back) is named again.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "aspi/request_block.h"
#include "aspi/session_trace.h"
#include "platform/files.h"

namespace aspi::trace {

// The request as the program sent it; `at` is when, in ms since the session's first call.
Request requestOf(const RequestBlock& block, int number, int64_t at);
// Its outcome as the layer left it in `answered` (status, adapter and target status, sense
// area) and in the data buffer, which held `before` when the request was sent (the data in is
// recorded only where the layer changed it).
void recordOutcome(Request& request, const RequestBlock& answered, const uint8_t* before,
                   const uint8_t* after, int64_t at);

// Calls may come from two threads (the program's and the one that completes requests); each
// line is written whole.
class SessionRecorder {
public:
    SessionRecorder(std::unique_ptr<platform::OutputFile> text,
                    std::unique_ptr<platform::OutputFile> side);
    ~SessionRecorder() { close(); }
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    void comment(const std::string& text);
    void support(int64_t at, uint32_t value);
    // Numbers the request and keeps it as pending until done() is called with the same number.
    int sent(const RequestBlock& block, int64_t at);
    void done(int number, const RequestBlock& answered, const uint8_t* before, const uint8_t* after,
              int64_t at);
    // Writes what is still pending and "# end", and closes both files; false when a write
    // failed. Later calls of the others do nothing.
    bool close();

private:
    struct SideBlock {
        uint32_t crc;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    void line(const std::string& text);
    uint64_t appendSide(const uint8_t* data, std::size_t length);
    void lock();
    void unlock();

    std::unique_ptr<platform::OutputFile> text_;
    std::unique_ptr<platform::OutputFile> side_;
    std::vector<SideBlock> sideBlocks_;
    uint64_t sideSize_ = 0;
    std::vector<Request> pending_;
    int requests_ = 0;
    bool closed_ = false;
    bool failed_ = false;
    std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
};

} // namespace aspi::trace
