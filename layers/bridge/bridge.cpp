// The ASPI bridge: a WNASPI32.DLL that carries the program's SCSI requests to the system's
// CD-ROM drives through SCSI pass-through (IOCTL_SCSI_PASS_THROUGH_DIRECT on \\.\X:), which
// Wine turns into the Linux SG_IO ioctl on the drive's device. At the first call it finds the
// CD-ROM drive letters and places each drive at a host adapter and target (core.h); a request
// to a drive goes to the bridge's worker thread, which hands it to the system with a time limit
// and then writes the sense data, the adapter and target status and the status byte last into
// the request block, then sets the request's event or calls its post routine. It sends no
// command of its own: nothing but the requests it is given reaches a drive. No exception leaves
// this library: a request whose handling fails ends with an error status.
#include <windows.h>

#include <cstddef>
#include <vector>

#include "core.h"
#include "layer_guard.h"
#include "passthrough_win32.h"
#include "platform/text_format.h"
#include "worker_thread.h"

namespace {

struct Request {
    aspi::RequestBlock* block;
    bridge::Command command;
    std::size_t drive;
    HANDLE event; // ours, on the program's event; null without one
};

struct State {
    explicit State(HMODULE module) : self(module) { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    HMODULE self;
    bool started = false;
    // One per place, its device open for the process's life.
    std::vector<bridge::win32::CdromDrive> drives;
    std::vector<bool> gone; // it went away: every request to it gets 82h
    std::vector<bridge::Place> places;
    std::vector<Request> queue;
    HANDLE wake = nullptr;
    bool workerStarted = false;
};

State* state = nullptr; // made on attach, kept until the process ends

void say(const std::string& text) {
    OutputDebugStringA(("WNASPI32 bridge: " + text + "\n").c_str());
}

// The CD-ROM drives, their devices and their places. With the lock held.
void start() {
    if (state->started) {
        return;
    }
    state->started = true;
    std::vector<bridge::Drive> drives;
    for (const bridge::win32::CdromDrive& d : bridge::win32::cdromDrives()) {
        if (d.device == INVALID_HANDLE_VALUE) {
            say(platform::formatText("%c: does not open (error %lu)", d.drive.letter, d.error));
            continue;
        }
        drives.push_back(d.drive);
        state->drives.push_back(d);
        state->gone.push_back(false);
    }
    state->places = bridge::placeDrives(drives);
    for (std::size_t i = 0; i < drives.size(); ++i) {
        const bridge::Drive& d = drives[i];
        const bridge::Place& p = state->places[i];
        say(platform::formatText("%c: at host adapter %u, target %u, LUN %u (%s)", d.letter,
                                 unsigned{p.hostAdapter}, unsigned{p.target}, unsigned{p.lun},
                                 d.addressed ? "its SCSI address" : "no SCSI address"));
    }
}

// Hands one request to the system and completes it.
void execute(const Request& r) {
    const bridge::Command& c = r.command;
    EnterCriticalSection(&state->lock);
    const bridge::win32::CdromDrive drive = state->drives[r.drive];
    LeaveCriticalSection(&state->lock);
    uint8_t sense[bridge::SenseCapacity];
    const DWORD started = GetTickCount();
    bridge::Outcome outcome =
        bridge::win32::passThrough(drive.device, c, sense, drive.drive.addressed);
    outcome.elapsedMs = GetTickCount() - started;
    if (!outcome.delivered) {
        say(platform::formatText("operation %02X not carried out (error %d)%s", unsigned{c.cdb[0]},
                                 outcome.error, outcome.gone ? ": the device has gone away" : ""));
        if (outcome.gone) {
            EnterCriticalSection(&state->lock);
            state->gone[r.drive] = true;
            LeaveCriticalSection(&state->lock);
        }
    } else if (outcome.scsiStatus != 0 || outcome.transferred != c.length) {
        say(platform::formatText(
            "operation %02X: status %02X, %lu of %lu bytes, %u sense "
            "bytes, %lu ms",
            unsigned{c.cdb[0]}, unsigned{outcome.scsiStatus},
            static_cast<unsigned long>(outcome.transferred), static_cast<unsigned long>(c.length),
            unsigned{outcome.senseLength}, static_cast<unsigned long>(outcome.elapsedMs)));
    }
    const uint8_t flags = r.block->SRB_Flags;
    void* const post = r.block->SRB_PostProc;
    bridge::complete(*r.block, c, outcome);
    // From here on the block is the program's again.
    if (r.event != nullptr) {
        SetEvent(r.event);
        CloseHandle(r.event);
    } else if ((flags & aspi::SRB_POSTING) != 0 && post != nullptr) {
        reinterpret_cast<void(__cdecl*)(void*)>(post)(r.block);
    }
}

// A request whose handling failed before it was completed ends as one not carried out.
void abandon(const Request& r) {
    bridge::complete(*r.block, r.command, bridge::Outcome());
    if (r.event != nullptr) {
        SetEvent(r.event);
        CloseHandle(r.event);
    }
}

DWORD WINAPI work(LPVOID) {
    for (;;) {
        EnterCriticalSection(&state->lock);
        if (state->queue.empty()) {
            LeaveCriticalSection(&state->lock);
            WaitForSingleObject(state->wake, INFINITE);
            continue;
        }
        const Request r = state->queue.front();
        state->queue.erase(state->queue.begin());
        LeaveCriticalSection(&state->lock);
        // Nothing of it throws once the block is completed (the status byte is the last thing
        // the block gets), so a failure here leaves it pending: it is ended as not carried out.
        if (!layerGuard([&r] { execute(r); }) && aspi::loadStatus(*r.block) == aspi::SS_PENDING) {
            abandon(r);
        }
    }
}

// With the lock held.
void startWorker() {
    if (state->workerStarted) {
        return;
    }
    state->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    state->workerStarted = startWorkerThread(state->self, work);
}

} // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo(void) {
    uint8_t adapters = 0;
    layerGuard([&adapters] {
        EnterCriticalSection(&state->lock);
        layerGuard(start);
        adapters = bridge::adapterCount(state->places);
        LeaveCriticalSection(&state->lock);
    });
    return adapters != 0 ? (DWORD{aspi::SS_COMP} << 8) | adapters
                         : DWORD{aspi::SS_NO_ADAPTERS} << 8;
}

namespace {

uint8_t send(aspi::RequestBlock* block) {
    EnterCriticalSection(&state->lock);
    layerGuard(start);
    int drive = -1;
    uint8_t refused = bridge::accept(*block, state->places, drive);
    if (refused == aspi::SS_PENDING && state->gone[static_cast<std::size_t>(drive)]) {
        refused = aspi::SS_NO_DEVICE;
    }
    if (refused == aspi::SS_PENDING) {
        startWorker();
        // Without a thread to carry it the layer has no means to take it.
        refused = state->workerStarted ? uint8_t{aspi::SS_PENDING} : uint8_t{aspi::SS_ASPI_IS_BUSY};
    }
    Request r{block, bridge::commandFor(*block), static_cast<std::size_t>(drive), nullptr};
    const bool queued = refused == aspi::SS_PENDING &&
                        layerGuard([&r] { state->queue.reserve(state->queue.size() + 1); });
    if (!queued) {
        LeaveCriticalSection(&state->lock);
        // The status byte leads every kind of request block.
        refused = refused != aspi::SS_PENDING ? refused : uint8_t{aspi::SS_ABORTED};
        aspi::storeStatus(*block, refused);
        return refused;
    }
    // A handle of our own on the event: the program may close its handle as soon as it sees
    // the status.
    if ((block->SRB_Flags & aspi::SRB_EVENT_NOTIFY) != 0 && block->SRB_PostProc != nullptr &&
        !DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(block->SRB_PostProc),
                         GetCurrentProcess(), &r.event, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        r.event = nullptr;
    }
    aspi::storeStatus(*block, aspi::SS_PENDING);
    state->queue.push_back(r); // room was made above
    const HANDLE wake = state->wake;
    LeaveCriticalSection(&state->lock);
    SetEvent(wake);
    return aspi::SS_PENDING;
}

} // namespace

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* argument) {
    if (argument == nullptr) {
        return aspi::SS_INVALID_CMD;
    }
    auto* block = static_cast<aspi::RequestBlock*>(argument);
    uint8_t result = aspi::SS_ABORTED;
    if (!layerGuard([&] { result = send(block); })) {
        aspi::storeStatus(*block, aspi::SS_ABORTED);
    }
    return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        return layerGuard([instance] { state = new State(instance); });
    }
    // At the process's end nothing is done: the worker keeps the library loaded until then,
    // and the system closes the devices.
    return TRUE;
}
