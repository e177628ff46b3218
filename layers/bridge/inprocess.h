// The bridge inside a program: the two ASPI entry points over SCSI devices the program opened
// itself, each request carried out on a worker thread with the bridge's rules (core.h), as the
// DLL does it for a program under Wine. The command-line flasher hands its drive commands to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "core.h"
#include "platform/worker.h"

namespace bridge {

// A SCSI device the program has opened, and the one thing the bridge asks of it.
class Device {
public:
    virtual ~Device() = default;
    // Carries the command out and waits for it. The outcome's sense bytes stay valid until the
    // next call.
    virtual Outcome execute(const Command& command) = 0;
};

// What the program sees of the requests while they are carried out, on the worker thread.
class Observer {
public:
    virtual ~Observer() = default;
    // The request to `drive` (an index into the places) goes to its device now.
    virtual void started(int drive, const aspi::RequestBlock& block, const Command& command) = 0;
    // It came back: the block and its data buffer as they are before the outcome goes into
    // them (the program does not touch either while the request is pending).
    virtual void finished(int drive, const aspi::RequestBlock& block, const Command& command,
                          const Outcome& outcome) = 0;
    // Its outcome is in the block, the program's event set: the program may take it.
    virtual void completed() = 0;
};

// How the worker sets the event of a request with event notification (flag 40h): a handle of
// its own, taken when the request comes in, so that the program may close its handle as soon
// as it sees the status.
struct EventHooks {
    std::function<void*(void*)> retain;
    std::function<void(void*)> set;
    std::function<void(void*)> release;
};

class InProcessBridge {
public:
    // The devices, placed by their addresses (placeDrives); `limit` gives each command its
    // time limit. Only one may exist at a time: the entry points are plain functions, as
    // ASPI's are, and find it through a static.
    InProcessBridge(const std::vector<Drive>& addresses, std::vector<Device*> devices,
                    platform::Worker* worker, EventHooks events, Observer& observer,
                    std::function<uint32_t(const Command&)> limit,
                    std::function<uint32_t()> tickCount);
    ~InProcessBridge();
    InProcessBridge(const InProcessBridge&) = delete;
    InProcessBridge& operator=(const InProcessBridge&) = delete;

    const std::vector<Place>& places() const { return places_; }
    // No request is queued or under way.
    bool idle();

    static uint32_t GetASPI32SupportInfo();
    static uint32_t SendASPI32Command(void* block);

private:
    uint32_t send(aspi::RequestBlock& block);
    void carryOut(aspi::RequestBlock* block, int drive, Command command, void* event);

    std::vector<Place> places_;
    std::vector<Device*> devices_;
    platform::Worker* worker_;
    EventHooks events_;
    Observer& observer_;
    std::function<uint32_t(const Command&)> limit_;
    std::function<uint32_t()> tickCount_;
    std::atomic<int> inFlight_{0};
};

} // namespace bridge
