// The recording ASPI layer: a WNASPI32.DLL that a user puts beside the flasher. It loads the
// system's own ASPI layer from the system folder, forwards both entry points to it and writes
// every request with its outcome to a recording beside the program (KXDREC00.TXT, data blocks in
// KXDREC00.BIN; the next free number when a recording is there already).
//
// The program sees what the system's layer gives, only later: each request goes to the layer
// as a copy (its own block, data buffer and event), and when the layer has completed the copy,
// the data, the sense area, the adapter and target status are put into the program's block and
// buffer first and the status byte last, then the program's event is set. A request the layer
// never completes stays pending for the program as well.
//
// The recording is whole at every moment (recording.h): each request is written as pending
// when it is handed on and for good when it completes, each time with the end line after it.
// So the layer has nothing left to write when the process ends, and at that point (whose other
// threads are gone, perhaps in the middle of the heap or of this layer's lock) it does nothing.
//
// Where the recording cannot be made the user is asked, before any request reaches a drive,
// whether the program goes on unrecorded. No exception leaves this library: a request whose
// handling fails ends with an error status.
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aspi/request_block.h"
#include "aspi/request_record.h"
#include "aspi/session_trace.h"
#include "layer_guard.h"
#include "recording.h"
#include "win32_file.h"
#include "worker_thread.h"

namespace {

using aspi::RequestBlock;
namespace trace = aspi::trace;

using GetSupportInfoFn = DWORD(__cdecl*)(void);
using SendCommandFn = DWORD(__cdecl*)(void*);

// What a whole flash takes at the most: its sixteen blocks once in the side file, some fifty
// lines of text. With less room than this the user is asked before the recording starts.
constexpr uint64_t RoomForAFlash = 256 * 1024 + 64 * 1024;

struct Pending {
    RequestBlock* caller;
    RequestBlock shadow;
    std::vector<uint8_t> data;
    HANDLE done;        // ours, set by the system's layer; null for a polled request
    HANDLE callerEvent; // our handle on the program's event, or null
    trace::Request record;
};

struct State {
    CRITICAL_SECTION lock;
    HMODULE self = nullptr;
    bool started = false;
    bool refused = false; // the user would not go on unrecorded
    HMODULE real = nullptr;
    GetSupportInfoFn getSupportInfo = nullptr;
    SendCommandFn sendCommand = nullptr;
    recorder::Win32File text, side;
    std::unique_ptr<recorder::Recording> recording; // none: requests go straight through
    DWORD startTick = 0;
    int requests = 0;
    std::vector<Pending*> pending;
    HANDLE wake = nullptr;
    bool workerStarted = false;
};

State* state = nullptr; // made on attach, kept until the process ends

class Hold {
public:
    explicit Hold(CRITICAL_SECTION& lock) : lock_(lock) { EnterCriticalSection(&lock_); }
    ~Hold() { LeaveCriticalSection(&lock_); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    CRITICAL_SECTION& lock_;
};

int64_t sinceStart(DWORD tick) {
    return static_cast<int64_t>(static_cast<DWORD>(tick - state->startTick));
}

void note(const std::string& text) {
    if (state->recording) {
        state->recording->note(text);
    }
}

std::string directoryOf(const std::string& path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != 0xFFFFFFFF;
}

// "WHAT beside the program (FILE: error N).", N the system's last error.
std::string besideProgram(const char* what, const std::string& file) {
    return std::string(what) + " beside the program (" + file + ": error " +
           std::to_string(GetLastError()) + ").";
}

// Free bytes for `folder` ("X:\\...\\"), or -1 where it cannot be told. Where the system has
// GetDiskFreeSpaceExA (from Windows 95 OSR2 on) it is asked about the folder itself, else
// about its drive.
int64_t freeBytes(const std::string& folder) {
    using FreeSpaceEx =
        BOOL(WINAPI*)(const char*, ULARGE_INTEGER*, ULARGE_INTEGER*, ULARGE_INTEGER*);
    const auto freeSpaceEx = reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "GetDiskFreeSpaceExA")));
    ULARGE_INTEGER available{}, total{}, free{};
    if (freeSpaceEx != nullptr && freeSpaceEx(folder.c_str(), &available, &total, &free)) {
        return static_cast<int64_t>(available.QuadPart);
    }
    if (folder.size() < 2 || folder[1] != ':') {
        return -1;
    }
    const char root[] = {folder[0], ':', '\\', '\0'};
    DWORD perCluster = 0, perSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceA(root, &perCluster, &perSector, &freeClusters, &clusters)) {
        return -1;
    }
    return int64_t{perCluster} * perSector * freeClusters;
}

// KXDREC00.TXT and .BIN beside the program, or the first number not yet taken. Empty, or what
// stands in the way of a recording.
std::string openRecording() {
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string folder = directoryOf(program);
    const int64_t room = freeBytes(folder + "\\");
    if (room >= 0 && static_cast<uint64_t>(room) < RoomForAFlash) {
        return "There is no room for it beside the program: " + std::to_string(room / 1024) +
               " KB free, and a whole recording takes up to " +
               std::to_string(RoomForAFlash / 1024) + " KB.";
    }
    std::string why = "No recording can be created beside the program.";
    for (int n = 0; n < 100; ++n) {
        const std::string name = std::string("KXDREC") + static_cast<char>('0' + n / 10) +
                                 static_cast<char>('0' + n % 10);
        const std::string base = folder + "\\" + name;
        if (exists(base + ".TXT") || exists(base + ".BIN")) {
            continue;
        }
        state->text.handle = CreateFileA((base + ".TXT").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (state->text.handle == INVALID_HANDLE_VALUE) {
            if (GetLastError() == ERROR_FILE_EXISTS) {
                continue; // taken since the look just before
            }
            why = besideProgram("No recording can be created", name + ".TXT");
            break;
        }
        state->side.handle = CreateFileA((base + ".BIN").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (state->side.handle == INVALID_HANDLE_VALUE) {
            why = besideProgram("No recording can be created", name + ".BIN");
        } else {
            state->recording.reset(new recorder::Recording(state->text, state->side));
            if (state->recording->begin({std::string("program ") + program})) {
                return std::string();
            }
            why = besideProgram("The recording cannot be written", name + ".TXT");
            state->recording.reset();
            CloseHandle(state->side.handle);
            DeleteFileA((base + ".BIN").c_str());
        }
        CloseHandle(state->text.handle);
        DeleteFileA((base + ".TXT").c_str());
        state->text.handle = state->side.handle = INVALID_HANDLE_VALUE;
        break;
    }
    return why;
}

// The system's layer by its full path. Windows 95 and 98 know a module by its name alone, so
// there the load hands back this very library; the system's layer is then loaded from a copy
// under another name in the temporary folder. The copy is held open to be deleted when it is
// closed, so that the system removes it when the process ends (Windows 9x cannot: there the
// copies of earlier runs are removed at the next start, those still loaded excepted).
void loadRealLayer() {
    char system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    const std::string path = std::string(system, length > MAX_PATH ? 0 : length) + "\\WNASPI32.DLL";
    note("system layer " + path);
    HMODULE real = LoadLibraryA(path.c_str());
    if (real == state->self || (real == nullptr && exists(path))) {
        if (real == state->self) {
            FreeLibrary(real);
        }
        real = nullptr;
        char folder[MAX_PATH + 1] = {};
        const DWORD got = GetTempPathA(MAX_PATH, folder);
        for (char n = '0'; got != 0 && got <= MAX_PATH && n <= '9'; ++n) {
            DeleteFileA((std::string(folder) + "KXDASPI" + n + ".DLL").c_str());
        }
        // KXDASPI0.DLL, or the next name when another recording holds that one.
        for (char n = '0'; got != 0 && got <= MAX_PATH && real == nullptr && n <= '9'; ++n) {
            const std::string copy = std::string(folder) + "KXDASPI" + n + ".DLL";
            if (CopyFileA(path.c_str(), copy.c_str(), FALSE)) {
                // Windows 9x refuses the sharing mode: there the call fails, harmlessly.
                CreateFileA(copy.c_str(), DELETE | GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_DELETE_ON_CLOSE, nullptr);
                real = LoadLibraryA(copy.c_str());
                note("loaded from the copy " + copy);
            }
        }
    }
    if (real == nullptr) {
        note("the system layer does not load");
        return;
    }
    state->real = real;
    state->getSupportInfo = reinterpret_cast<GetSupportInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(real, "GetASPI32SupportInfo")));
    state->sendCommand = reinterpret_cast<SendCommandFn>(
        reinterpret_cast<void*>(GetProcAddress(real, "SendASPI32Command")));
    if (state->getSupportInfo == nullptr || state->sendCommand == nullptr) {
        note("the system layer lacks an entry point");
    }
}

// With the lock held, on the program's thread, before any request goes out.
void start() {
    if (state->started) {
        return;
    }
    state->started = true;
    state->startTick = GetTickCount();
    const std::string problem = openRecording();
    loadRealLayer();
    if (!problem.empty()) {
        const std::string text = "The recording layer cannot record this session:\n\n" + problem +
                                 "\n\nGo on without recording?\n(No: the program is told that "
                                 "ASPI is not available, and nothing reaches a drive.)";
        state->refused = MessageBoxA(nullptr, text.c_str(), "ASPI recording layer",
                                     MB_YESNO | MB_ICONEXCLAMATION | MB_TASKMODAL) != IDYES;
    }
}

// Puts the layer's outcome into the program's block and buffer, status last, then writes it.
// With the lock held.
void complete(std::unique_ptr<Pending> p) {
    RequestBlock& caller = *p->caller;
    const uint8_t status = aspi::loadStatus(p->shadow);
    const bool inward = p->record.direction != trace::Direction::Out && !p->data.empty();
    // Recorded only where the layer changed the buffer: a replay that writes nothing then
    // leaves the program the same bytes.
    const bool changed =
        inward && std::memcmp(caller.SRB_BufPointer, p->data.data(), p->data.size()) != 0;
    if (inward) {
        std::memcpy(caller.SRB_BufPointer, p->data.data(), p->data.size());
    }
    std::memcpy(caller.SenseArea, p->shadow.SenseArea, sizeof caller.SenseArea);
    caller.SRB_HaStat = p->shadow.SRB_HaStat;
    caller.SRB_TargStat = p->shadow.SRB_TargStat;
    aspi::storeStatus(caller, status);
    if (p->callerEvent != nullptr) {
        SetEvent(p->callerEvent);
        CloseHandle(p->callerEvent);
    }
    if (p->done != nullptr) {
        CloseHandle(p->done);
    }
    // From here on the program has its answer, whatever becomes of the recording.
    trace::Request& r = p->record;
    r.completed = sinceStart(GetTickCount());
    if (changed) {
        r.dataIn = p->data;
    }
    trace::recordAnswer(r, p->shadow);
    state->recording->completed(r);
}

void watch() {
    for (;;) {
        HANDLE events[MAXIMUM_WAIT_OBJECTS];
        DWORD count = 0;
        bool polling = false;
        EnterCriticalSection(&state->lock);
        events[count++] = state->wake;
        for (Pending* p : state->pending) {
            if (p->done == nullptr || count == MAXIMUM_WAIT_OBJECTS) {
                polling = true;
            } else {
                events[count++] = p->done;
            }
        }
        LeaveCriticalSection(&state->lock);
        // A request without an event (or beyond what one wait can watch) is looked at every
        // millisecond while it is pending, as the program itself polls it.
        WaitForMultipleObjects(count, events, FALSE, polling ? 1 : INFINITE);
        Hold hold(state->lock);
        for (std::size_t i = 0; i < state->pending.size();) {
            Pending* p = state->pending[i];
            if (aspi::loadStatus(p->shadow) == aspi::SS_PENDING) {
                ++i;
                continue;
            }
            state->pending.erase(state->pending.begin() + static_cast<std::ptrdiff_t>(i));
            // Whatever fails in the writing, the program has had its answer first.
            layerGuard([p] { complete(std::unique_ptr<Pending>(p)); });
        }
    }
}

// The watcher's loop never ends; whatever escapes it starts it again, never reaching the system.
DWORD WINAPI watchForever(LPVOID) {
    for (;;) {
        layerGuard(watch);
    }
}

void startWatcher() {
    if (state->workerStarted) {
        return;
    }
    state->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    state->workerStarted = startWorkerThread(state->self, watchForever);
}

// A request to record. Everything that may fail happens before it is handed on; the layer's
// result is returned as it is.
DWORD send(RequestBlock* block) {
    startWatcher();
    std::unique_ptr<Pending> p(new Pending());
    p->caller = block;
    p->shadow = *block;
    p->done = p->callerEvent = nullptr;
    p->record = trace::requestOf(*block, ++state->requests, sinceStart(GetTickCount()));
    const trace::Request& r = p->record;
    if (block->SRB_BufLen != 0 && block->SRB_BufPointer != nullptr) {
        const auto* data = static_cast<const uint8_t*>(block->SRB_BufPointer);
        p->data.assign(data, data + block->SRB_BufLen);
        p->shadow.SRB_BufPointer = p->data.data();
    }
    state->pending.reserve(state->pending.size() + 1);
    // On the record as pending before it goes out.
    state->recording->submitted(r);
    // The layer gets the very flags the program sent. Where they ask for an event, the layer
    // sets ours and we set the program's; otherwise the watcher polls the copy's status.
    if ((block->SRB_Flags & aspi::SRB_EVENT_NOTIFY) != 0 && block->SRB_PostProc != nullptr) {
        DuplicateHandle(GetCurrentProcess(), static_cast<HANDLE>(block->SRB_PostProc),
                        GetCurrentProcess(), &p->callerEvent, 0, FALSE, DUPLICATE_SAME_ACCESS);
        p->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        p->shadow.SRB_PostProc = p->done;
    } else {
        p->shadow.SRB_PostProc = nullptr;
    }
    p->shadow.SRB_Status = aspi::SS_PENDING;
    Pending* handed = p.release();
    state->pending.push_back(handed);
    const DWORD result = state->sendCommand(&handed->shadow);
    SetEvent(state->wake);
    return result;
}

DWORD sendCommand(RequestBlock* block) {
    Hold hold(state->lock);
    start();
    if (state->refused) {
        aspi::storeStatus(*block, aspi::SS_FAILED_INIT);
        return aspi::SS_FAILED_INIT;
    }
    if (state->sendCommand == nullptr) {
        return aspi::SS_INVALID_HA;
    }
    if (!state->recording) {
        return state->sendCommand(block); // going on unrecorded
    }
    if (block->SRB_Cmd != aspi::SC_EXEC_SCSI_CMD) {
        // Not a SCSI request: handed on as it is, noted without its outcome.
        note("command " + std::to_string(block->SRB_Cmd) + " passed on");
        return state->sendCommand(block);
    }
    return send(block);
}

} // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo(void) {
    // 0E4h, failed initialisation, when there is no layer to ask or no going on.
    DWORD value = DWORD{aspi::SS_FAILED_INIT} << 8;
    layerGuard([&value] {
        Hold hold(state->lock);
        start();
        if (!state->refused && state->getSupportInfo != nullptr) {
            value = state->getSupportInfo();
        }
        if (state->recording) {
            state->recording->support(sinceStart(GetTickCount()), value);
        }
    });
    return value;
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* block) {
    if (block == nullptr) {
        return aspi::SS_INVALID_CMD;
    }
    auto* request = static_cast<RequestBlock*>(block);
    DWORD result = aspi::SS_ABORTED;
    if (!layerGuard([&] { result = sendCommand(request); })) {
        // It went nowhere: the program learns so from its status byte.
        aspi::storeStatus(*request, aspi::SS_ABORTED);
    }
    return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        return layerGuard([instance] {
            state = new State();
            state->self = instance;
            InitializeCriticalSection(&state->lock);
            DisableThreadLibraryCalls(instance);
        });
    }
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr && state != nullptr) {
        // Unloaded by the program (only while no worker thread holds the library): the files
        // are whole already, only their handles remain. At the process's end (reserved set)
        // nothing is done at all.
        CloseHandle(state->text.handle);
        CloseHandle(state->side.handle);
        state->text.handle = state->side.handle = INVALID_HANDLE_VALUE;
    }
    return TRUE;
}
