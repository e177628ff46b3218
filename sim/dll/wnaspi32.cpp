// Our stand-in for ASPI for Win32: the simulated bus behind the two cdecl entry points, with a
// worker thread that completes requests when they are due. Configured by the scenario file
// that the environment variable KXD_SIM_SCENARIO names; without it the bus holds one
// KXD-7316 (revision KV81, tray empty) at host adapter 0, target 1. No exception leaves this
// library: a request whose handling fails ends with status 02h (aborted).
#include <windows.h>

#include <string>

#include "layers/layer_guard.h"
#include "sim/core/bus.h"

namespace {

CRITICAL_SECTION lock;
sim::Bus* bus = nullptr; // made on first use, kept until the process ends
HANDLE wake = nullptr;   // tells the worker that a request was queued
bool workerStarted = false;
HMODULE self = nullptr;
std::string replayMessages; // replay errors (and why a recording is refused) not shown yet
DWORD startTicks = 0;

int64_t now() {
    return static_cast<int64_t>(GetTickCount() - startTicks);
}

class Win32Events : public sim::EventHost {
public:
    // A handle of our own: the program may close its handle as soon as it sees the status,
    // before this thread gets to SetEvent.
    void* holdEvent(void* post) override {
        HANDLE copy = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(post), GetCurrentProcess(),
                            &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
            return copy;
        }
        return nullptr; // not an event we can hold: the request completes without it
    }
    void signalEvent(void* held) override { SetEvent(static_cast<HANDLE>(held)); }
    void releaseEvent(void* held) override { CloseHandle(static_cast<HANDLE>(held)); }
} events;

DWORD WINAPI work(LPVOID) {
    for (;;) {
        EnterCriticalSection(&lock);
        const int64_t t = now();
        layerGuard([t] { bus->completeDue(t, events); });
        const int64_t due = bus->nextDue();
        LeaveCriticalSection(&lock);
        DWORD wait = INFINITE;
        if (due >= 0) {
            wait = due > t ? static_cast<DWORD>(due - t) : 0;
        }
        WaitForSingleObject(wake, wait);
    }
}

// Called with the lock held.
void start() {
    if (bus != nullptr) {
        return;
    }
    startTicks = GetTickCount();
    sim::Scenario scenario;
    const char* path = getenv("KXD_SIM_SCENARIO");
    if (path != nullptr && *path != '\0') {
        std::string error;
        if (!sim::Scenario::load(path, scenario, error)) {
            OutputDebugStringA(("WNASPI32 simulator: " + error + "\n").c_str());
            scenario = sim::Scenario();
            scenario.supportStatus = 0xE4; // failed initialisation
            scenario.adapters = 0;
        }
    } else {
        sim::DeviceSpec drive;
        drive.hostAdapter = 0;
        drive.target = 1;
        scenario.devices.push_back(drive);
    }
    bus = new sim::Bus(scenario);
    if (!bus->replayLoadError().empty()) {
        // A recording the bus refuses: the program finds no ASPI, and the user sees why.
        replayMessages = "The recording cannot be replayed: " + bus->replayLoadError();
    }
    // A request that is not the one recorded fails the run where everyone sees it: in a box of
    // its own, shown once the lock is let go.
    bus->setReplayErrorHandler([](const std::string& message) { replayMessages += message; });
}

void startWorker() {
    if (workerStarted) {
        return;
    }
    workerStarted = true;
    // The worker runs code of this library until the process ends: a reference of its own
    // keeps the library loaded after the program's FreeLibrary.
    char name[MAX_PATH];
    if (GetModuleFileNameA(self, name, sizeof name) != 0) {
        LoadLibraryA(name);
    }
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD id;
    HANDLE thread = CreateThread(nullptr, 0, work, nullptr, 0, &id);
    if (thread != nullptr) {
        CloseHandle(thread);
    }
}

// Shows what went wrong with the replay, outside the lock, in a box of the layer's own.
void showReplayMessages() {
    std::string message;
    EnterCriticalSection(&lock);
    message.swap(replayMessages);
    LeaveCriticalSection(&lock);
    if (!message.empty()) {
        OutputDebugStringA(("WNASPI32 simulator: " + message + "\n").c_str());
        MessageBoxA(nullptr, message.c_str(), "Replay", MB_OK | MB_ICONSTOP | MB_TASKMODAL);
    }
}

} // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo(void) {
    DWORD info = 0xE400; // failed initialisation
    layerGuard([&info] {
        EnterCriticalSection(&lock);
        layerGuard(start);
        info = bus != nullptr ? bus->supportInfo() : info;
        LeaveCriticalSection(&lock);
        showReplayMessages();
    });
    return info;
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* argument) {
    if (argument == nullptr) {
        return aspi::SS_INVALID_CMD;
    }
    auto* block = static_cast<aspi::RequestBlock*>(argument);
    EnterCriticalSection(&lock);
    const bool taken = layerGuard([block] {
        start();
        startWorker();
        bus->submit(block, now(), events);
    });
    LeaveCriticalSection(&lock);
    if (!taken) {
        // The simulated layer failed to take it: the program learns so from its status byte.
        aspi::storeStatus(*block, aspi::SS_ABORTED);
        return aspi::SS_ABORTED;
    }
    SetEvent(wake);
    layerGuard(showReplayMessages);
    return aspi::SS_PENDING;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        InitializeCriticalSection(&lock);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
