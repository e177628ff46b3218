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

// The SCSI ioctl codes are made with winioctl.h, which the lean windows.h leaves out.
#include <winioctl.h>

#include <ntddscsi.h>

#include <cstddef>
#include <vector>

#include "core.h"
#include "layer_guard.h"
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
    std::vector<HANDLE> devices; // one per place, open for the process's life
    std::vector<bool> addressed; // the system told its SCSI address
    std::vector<bool> gone;      // it went away: every request to it gets 82h
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
    const DWORD letters = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        const char letter = static_cast<char>('A' + i);
        const char root[] = {letter, ':', '\\', '\0'};
        if ((letters & (1u << i)) == 0 || GetDriveTypeA(root) != DRIVE_CDROM) {
            continue;
        }
        const char name[] = {'\\', '\\', '.', '\\', letter, ':', '\0'};
        // Read and write access: a real device lets only read commands through otherwise.
        const HANDLE device =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
        if (device == INVALID_HANDLE_VALUE) {
            say(platform::formatText("%c: does not open (error %lu)", letter, GetLastError()));
            continue;
        }
        bridge::Drive drive;
        drive.letter = letter;
        SCSI_ADDRESS address{};
        DWORD returned = 0;
        if (DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address, sizeof address,
                            &returned, nullptr)) {
            drive.addressed = true;
            drive.port = address.PortNumber;
            drive.path = address.PathId;
            drive.target = address.TargetId;
            drive.lun = address.Lun;
        }
        drives.push_back(drive);
        state->devices.push_back(device);
        state->addressed.push_back(drive.addressed);
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

// After a pass-through that was not carried out: whether the device has gone away. Under Wine
// the error alone does not tell (a device gone and a kernel out of memory both come back as
// ERROR_GEN_FAILURE), but a device gone no longer answers the question for its address, which
// reaches the kernel only, not the drive.
bool deviceGone(HANDLE device, bool addressed, DWORD error) {
    constexpr DWORD NoSuchDevice = 433; // ERROR_NO_SUCH_DEVICE: Wine's word for ENXIO
    if (error == ERROR_DEV_NOT_EXIST || error == NoSuchDevice) {
        return true;
    }
    SCSI_ADDRESS address{};
    DWORD returned = 0;
    return addressed && !DeviceIoControl(device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &address,
                                         sizeof address, &returned, nullptr);
}

// Hands one request to the system and completes it.
void execute(const Request& r) {
    struct {
        SCSI_PASS_THROUGH_DIRECT header;
        uint8_t sense[bridge::SenseCapacity];
    } p{};
    const bridge::Command& c = r.command;
    p.header.Length = sizeof p.header;
    p.header.CdbLength = c.cdbLength;
    p.header.SenseInfoLength = c.senseLength;
    p.header.DataIn = c.direction == aspi::trace::Direction::In    ? SCSI_IOCTL_DATA_IN
                      : c.direction == aspi::trace::Direction::Out ? SCSI_IOCTL_DATA_OUT
                                                                   : SCSI_IOCTL_DATA_UNSPECIFIED;
    p.header.DataTransferLength = c.length;
    p.header.TimeOutValue = bridge::TimeLimitSeconds;
    p.header.DataBuffer = c.data;
    p.header.SenseInfoOffset = offsetof(decltype(p), sense);
    for (int i = 0; i < c.cdbLength; ++i) {
        p.header.Cdb[i] = c.cdb[i];
    }
    DWORD returned = 0;
    const DWORD started = GetTickCount();
    // The same structure goes in and comes out; what came back is read from it, never from
    // the byte count.
    HANDLE device = nullptr;
    bool addressed = false;
    {
        EnterCriticalSection(&state->lock);
        device = state->devices[r.drive];
        addressed = state->addressed[r.drive];
        LeaveCriticalSection(&state->lock);
    }
    const BOOL delivered = DeviceIoControl(device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &p, sizeof p, &p,
                                           sizeof p, &returned, nullptr);
    const DWORD error = delivered ? 0 : GetLastError();
    bridge::Outcome outcome;
    outcome.delivered = delivered != FALSE;
    outcome.elapsedMs = GetTickCount() - started;
    if (!outcome.delivered) {
        outcome.gone = deviceGone(device, addressed, error);
        say(platform::formatText("operation %02X not carried out (error %lu)%s", unsigned{c.cdb[0]},
                                 error, outcome.gone ? ": the device has gone away" : ""));
        if (outcome.gone) {
            EnterCriticalSection(&state->lock);
            state->gone[r.drive] = true;
            LeaveCriticalSection(&state->lock);
        }
    } else {
        outcome.scsiStatus = p.header.ScsiStatus;
        outcome.transferred = p.header.DataTransferLength;
        outcome.senseLength = p.header.SenseInfoLength;
        outcome.sense = p.sense;
        if (outcome.scsiStatus != 0 || outcome.transferred != c.length) {
            say(platform::formatText("operation %02X: status %02X, %lu of %lu bytes, %u sense "
                                     "bytes, %lu ms",
                                     unsigned{c.cdb[0]}, unsigned{outcome.scsiStatus},
                                     static_cast<unsigned long>(outcome.transferred),
                                     static_cast<unsigned long>(c.length),
                                     unsigned{outcome.senseLength},
                                     static_cast<unsigned long>(outcome.elapsedMs)));
        }
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
