// A deterministic model of a SCSI bus behind ASPI: devices at host adapter/target positions,
// requests that complete at a given time, faults. It keeps no clock and no thread of its own:
// the adapters (the DLL, the in-process library) tell it the time, call it under their lock
// and run the completions on their worker thread.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "aspi/request_block.h"
#include "aspi/scsi.h"
#include "aspi/session_trace.h"
#include "package/firmware_area.h"
#include "sim/core/scenario.h"

namespace sim {

// How the adapter reaches the event of a request posted with flag 40h.
class EventHost {
public:
    virtual ~EventHost() = default;
    // Takes a handle of its own on the program's event (the program may close its handle
    // as soon as it sees the status).
    virtual void* holdEvent(void* post) = 0;
    virtual void signalEvent(void* held) = 0;
    virtual void releaseEvent(void* held) = 0;
};

// One request as it crossed the bus.
struct TraceEntry {
    int number = 0;
    int64_t submitted = 0;
    uint8_t hostAdapter = 0, target = 0, flags = 0, cdbLength = 0;
    uint32_t dataLength = 0;
    uint8_t cdb[16] = {};
    uint8_t status = 0; // the outcome it will complete with
    scsi::Sense sense;  // when status is 04h
    int64_t due = -1;   // -1: never completes
    bool completed = false;
    uint32_t transferred = 0; // data bytes the device took or gave, when it completes good
    // A command the transport lost (Fault::lost), as the emulated device node reports it.
    int error = 0;
    int hostStatus = 0, driverStatus = 0;
    int64_t residual = -1;
};

struct DeviceState {
    DeviceSpec setup;
    // The download buffer holds one firmware image.
    std::vector<uint8_t> download = std::vector<uint8_t>(package::ImageSize, 0);
    std::vector<uint8_t> firmware; // the image installed by the last commit
    int becomingReady = 0;
    int requests = 0;
    int commits = 0;
};

class Bus {
public:
    explicit Bus(Scenario scenario);
    ~Bus();
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;

    uint32_t supportInfo() const;
    // Takes a request block: decides its outcome now and queues its completion.
    void submit(aspi::RequestBlock* block, int64_t now, EventHost& events);
    // Earliest due time of a queued request; -1 when none will complete.
    int64_t nextDue() const;
    bool hasDueBy(int64_t now) const { return nextDue() >= 0 && nextDue() <= now; }
    // Writes data and sense, then the status (release), then signals the event, for every
    // request due by `now`.
    void completeDue(int64_t now, EventHost& events);
    // Drops what will never complete (closing its held events).
    void shutdown(EventHost& events);

    // A fault for the requests still to come (after those already given), as a test adds one
    // while the bus runs.
    void addFault(const Fault& fault) { scenario_.faults.push_back(fault); }

    DeviceState* device(uint8_t hostAdapter, uint8_t target);
    const std::vector<TraceEntry>& trace() const { return trace_; }
    const Scenario& scenario() const { return scenario_; }

    // Replaying a recorded session: why it could not be read, and every request that was not
    // the one recorded next (each message names the request sent and the one recorded). From
    // the first difference on, every request fails with an illegal-request sense.
    const std::string& replayLoadError() const { return replayLoadError_; }
    // The recorded session being replayed (empty when none).
    const aspi::trace::Session& replaySession() const { return session_; }
    const std::vector<std::string>& replayErrors() const { return replayErrors_; }
    // Called with each new replay error (the DLL shows it in a box).
    void setReplayErrorHandler(std::function<void(const std::string&)> handler) {
        replayErrorHandler_ = std::move(handler);
    }

private:
    struct Pending {
        aspi::RequestBlock* block;
        void* event;
        int64_t due; // -1: never
        int traceIndex;
        uint8_t status, haStat, targStat;
        scsi::Sense sense;
        bool senseValid;
        uint32_t transferred;      // data bytes moved when it completes good
        std::vector<uint8_t> data; // what goes into the data buffer
        std::vector<uint8_t> raw;  // a replayed sense area, as recorded
        int replayed = -1;         // the recorded request it answers, or -1
        std::string commit;        // a commit request's revisions, "KV80->KV81"
    };

    void loadReplay();
    // The recorded outcome of the request, or false (and a replay error) when it is not the
    // one recorded next.
    bool replay(const aspi::RequestBlock& block, int number, Pending& pending, int64_t& latency);
    void replayError(const std::string& message);

    const Fault* findFault(uint8_t ha, uint8_t target, uint8_t opcode, int occurrence) const;
    void execute(DeviceState& device, const aspi::RequestBlock& block, Pending& pending,
                 int64_t& extraDelay);
    // Inverts byte `at` of the data a read returns, or of the block a data write stored.
    void corrupt(DeviceState& device, const aspi::RequestBlock& block, Pending& pending,
                 uint64_t at);
    void writeTrace(const TraceEntry& entry, const char* what, int64_t now);

    Scenario scenario_;
    std::vector<DeviceState> devices_;
    std::vector<Pending> pending_;
    std::vector<TraceEntry> trace_;
    // Per slot and operation code, how many requests went there.
    std::map<int, std::array<int, 256>> occurrences_;
    std::FILE* traceFile_ = nullptr;

    bool replaying_ = false;
    aspi::trace::Session session_;
    std::size_t replayNext_ = 0;
    bool replayBroken_ = false;
    std::string replayLoadError_;
    std::vector<std::string> replayErrors_;
    std::function<void(const std::string&)> replayErrorHandler_;
};

} // namespace sim
