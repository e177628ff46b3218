// The program's side of ASPI for Win32: the two entry points, the request block through which
// every drive command travels, the two ways of awaiting it, and the buffers that requests
// transfer data through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "aspi/request_block.h"
#include "platform/system.h"

namespace aspi {

// The exported functions are cdecl. Plain function pointers use cdecl by default for i686
// MinGW (and there is only one calling convention on x86-64), so no attribute is needed and
// the portable logic stays free of windows.h.
using GetASPI32SupportInfoFn = uint32_t (*)();
using SendASPI32CommandFn = uint32_t (*)(void*);

// ASPI writes the request block, its data buffer and signals its event on its own thread, also
// after the program has stopped waiting. A request that is still pending when its wait gives
// up is therefore retired: its block, event and data buffer stay untouched (neither reused
// nor freed) until ASPI has written its status, and the next command goes out through a fresh
// block. Retired requests are reclaimed once their status is no longer pending.
class Layer {
public:
    explicit Layer(platform::System& system);
    ~Layer();
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    // The entry points as start-up looked them up with procAddress (null when missing).
    void setEntryPoints(void* getSupportInfo, void* sendCommand);
    void setEntryPoints(GetASPI32SupportInfoFn getSupportInfo, SendASPI32CommandFn sendCommand);
    bool hasEntryPoints() const { return getSupportInfo_ != nullptr && sendCommand_ != nullptr; }
    // GetASPI32SupportInfo's result: bits 8-15 status, 0-7 host adapter count. 0 without it.
    uint32_t supportInfo();

    // Starts a command: the current request block, zero-filled, command code 02h.
    RequestBlock& newRequest();
    // The block of the last command, holding its outcome until the next newRequest().
    const RequestBlock& request() const;
    // Its status byte, read fresh from memory.
    uint8_t status() const { return loadStatus(request()); }

    // Submits the block and re-reads its status until it is no longer pending, for at most
    // `milliseconds` by the system's tick count: for its first `quickMs` giving up the rest of
    // the time slice between two reads (a drive answers at once, or nearly), then sleeping
    // HungPollMs between them (it waits for the drive's mechanics, or has hung). A request
    // still pending at the limit is retired; the result is its status, 00h after the limit.
    uint8_t executePolling(unsigned long milliseconds, unsigned long quickMs);
    static constexpr unsigned long HungPollMs = 10;
    // Submits with event notification (flags 48h, post = a new auto-reset event) and waits at
    // most `milliseconds` for it. A request still pending then is retired; the result is its
    // status, 00h after a timeout.
    uint8_t executeWithEvent(unsigned long milliseconds);
    // While set, a request awaited by its event that is still pending after `afterMs` has
    // `notice` called once, and its wait then goes on to its limit: a device that does not
    // answer at once must not leave the user with nothing on the screen. Cleared with a null
    // notice.
    void onSlowRequest(unsigned long afterMs, std::function<void()> notice);
    // Submits without waiting: the caller watches status() and calls abandon() if it gives up.
    void submit();
    // The current request is still pending and nobody waits for it any more: retire it.
    void abandon();

    // A buffer for a request's data, or null when no memory is left. Release it exactly once;
    // if a retired request may still write into it, it is freed only after that request has
    // completed.
    uint8_t* allocateBuffer(size_t bytes);
    void releaseBuffer(void* buffer);

    // How many retired requests are still awaited, and how many buffers are held (handed out
    // or waiting for a retired request).
    size_t retiredCount() const { return retired_.size(); }
    size_t heldBuffers() const { return buffers_.size(); }
    // The memory kept for retired requests: a record for each (its block and event handle),
    // and each released buffer that one of them may still write. Bound: for every request
    // still pending, its record and the buffer it names (for a flash, one block); nothing for
    // a request that has completed, once the layer is next called.
    size_t retainedBytes() const;
    static size_t requestRecordBytes();

private:
    struct Request {
        RequestBlock block;
        platform::EventHandle event = nullptr; // owned while the request is retired
    };
    struct Buffer {
        uint8_t* data;
        size_t size;
        bool released;
    };

    void reclaim();
    bool usedByRetired(const Buffer& buffer) const;
    void freeBuffer(size_t index);

    platform::System& system_;
    unsigned long slowAfterMs_ = 0;
    std::function<void()> slowNotice_;
    GetASPI32SupportInfoFn getSupportInfo_ = nullptr;
    SendASPI32CommandFn sendCommand_ = nullptr;
    std::unique_ptr<Request> current_;
    std::vector<std::unique_ptr<Request>> retired_;
    std::vector<Buffer> buffers_;
};

} // namespace aspi
