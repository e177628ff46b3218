// The ASPI bridge: a WNASPI32.DLL that carries the program's SCSI requests to the system's
// CD-ROM drives through SCSI pass-through (IOCTL_SCSI_PASS_THROUGH_DIRECT on \\.\X:), which
// Wine turns into the Linux SG_IO ioctl on the drive's device. At the first call it finds the
// CD-ROM drive letters and places each drive at a host adapter and target (core.h); a request
// to a drive goes to the bridge's worker thread, which hands it to the system with a time limit
// and then writes the sense data, the adapter and target status and the status byte last into
// the request block, then sets the request's event or calls its post routine. It sends no
// command of its own: nothing but the requests it is given reaches a drive.
#include <windows.h>

#include <cstddef>
#include <vector>

#include "core.h"
#include "passthrough_win32.h"
#include "platform/text_format.h"
#include "worker_thread.h"

namespace {

struct Request {
    aspi::RequestBlock* block;
    bridge::Command command;
    HANDLE device;
    HANDLE event; // ours, on the program's event; null without one
};

struct State {
    explicit State(HMODULE module) : self(module) { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    HMODULE self;
    bool started = false;
    std::vector<HANDLE> devices; // one per place, open for the process's life
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
        state->devices.push_back(d.device);
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
    uint8_t sense[bridge::SenseCapacity];
    const DWORD started = GetTickCount();
    bridge::Outcome outcome = bridge::win32::passThrough(r.device, r.command, sense);
    outcome.elapsedMs = GetTickCount() - started;
    if (!outcome.delivered) {
        say(platform::formatText("operation %02X not carried out (error %d)",
                                 unsigned{r.command.cdb[0]}, outcome.error));
    }
    const uint8_t flags = r.block->SRB_Flags;
    void* const post = r.block->SRB_PostProc;
    bridge::complete(*r.block, r.command, outcome);
    // From here on the block is the program's again.
    if (r.event != nullptr) {
        SetEvent(r.event);
        CloseHandle(r.event);
    } else if ((flags & aspi::SRB_POSTING) != 0 && post != nullptr) {
        reinterpret_cast<void(__cdecl*)(void*)>(post)(r.block);
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
        execute(r);
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
    EnterCriticalSection(&state->lock);
    start();
    const uint8_t adapters = bridge::adapterCount(state->places);
    LeaveCriticalSection(&state->lock);
    return adapters != 0 ? (DWORD{aspi::SS_COMP} << 8) | adapters
                         : DWORD{aspi::SS_NO_ADAPTERS} << 8;
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* argument) {
    if (argument == nullptr) {
        return aspi::SS_INVALID_CMD;
    }
    auto* block = static_cast<aspi::RequestBlock*>(argument);
    EnterCriticalSection(&state->lock);
    start();
    int drive = -1;
    uint8_t refused = bridge::accept(*block, state->places, drive);
    if (refused == aspi::SS_PENDING) {
        startWorker();
        // Without a thread to carry it the layer has no means to take it.
        refused = state->workerStarted ? uint8_t{aspi::SS_PENDING} : uint8_t{aspi::SS_ASPI_IS_BUSY};
    }
    if (refused != aspi::SS_PENDING) {
        LeaveCriticalSection(&state->lock);
        // The status byte leads every kind of request block.
        aspi::storeStatus(*block, refused);
        return refused;
    }
    Request r{block, bridge::commandFor(*block), state->devices[static_cast<std::size_t>(drive)],
              nullptr};
    // A handle of our own on the event: the program may close its handle as soon as it sees
    // the status.
    if ((block->SRB_Flags & aspi::SRB_EVENT_NOTIFY) != 0 && block->SRB_PostProc != nullptr &&
        !DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(block->SRB_PostProc),
                         GetCurrentProcess(), &r.event, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
        r.event = nullptr;
    }
    aspi::storeStatus(*block, aspi::SS_PENDING);
    state->queue.push_back(r);
    const HANDLE wake = state->wake;
    LeaveCriticalSection(&state->lock);
    SetEvent(wake);
    return aspi::SS_PENDING;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        state = new State(instance);
        break;
    case DLL_PROCESS_DETACH:
        // Only at the process's end (the worker keeps the library loaded until then).
        if (state != nullptr) {
            for (HANDLE device : state->devices) {
                CloseHandle(device);
            }
        }
        break;
    default:
        break;
    }
    return TRUE;
}
