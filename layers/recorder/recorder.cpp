// The recording ASPI layer: a WNASPI32.DLL that a user puts beside the flasher. It loads the
// system's own ASPI layer from the system folder, forwards both entry points to it and writes
// every request with its outcome to a trace beside the program (KXDREC00.TXT, data blocks in
// KXDREC00.BIN; the next free number when a trace is there already).
//
// The program sees what the system's layer gives, only later: each request goes to the layer
// as a copy (its own block, data buffer and event), and when the layer has completed the copy,
// the data, the sense area, the adapter and target status are put into the program's block and
// buffer first and the status byte last, then the program's event is set. A request the layer
// never completes stays pending for the program as well and is written as pending at the end.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "aspi/request_block.h"
#include "aspi/session_trace.h"
#include "worker_thread.h"

namespace {

using aspi::RequestBlock;
namespace trace = aspi::trace;

using GetSupportInfoFn = DWORD(__cdecl*)(void);
using SendCommandFn = DWORD(__cdecl*)(void*);

struct Pending {
    RequestBlock* caller;
    RequestBlock shadow;
    std::vector<uint8_t> data;
    HANDLE done;         // ours, set by the system's layer; null for a polled request
    HANDLE callerEvent;  // our handle on the program's event, or null
    DWORD submittedTick; // GetTickCount at the call
    trace::Request record;
};

struct State {
    CRITICAL_SECTION lock;
    HMODULE self = nullptr;
    bool started = false;
    HMODULE real = nullptr;
    GetSupportInfoFn getSupportInfo = nullptr;
    SendCommandFn sendCommand = nullptr;
    HANDLE traceFile = INVALID_HANDLE_VALUE;
    HANDLE sideFile = INVALID_HANDLE_VALUE;
    uint64_t sideSize = 0;
    // What the side file holds, so that a block written once (a block sent and the same
    // block read back) is written once.
    struct SideBlock {
        uint32_t crc;
        uint64_t offset;
        std::vector<uint8_t> bytes;
    };
    std::vector<SideBlock> sideBlocks;
    DWORD startTick = 0;
    int requests = 0;
    std::vector<Pending*> pending;
    HANDLE wake = nullptr;
    bool workerStarted = false;
};

State* state = nullptr; // made on attach, kept until the process ends

int64_t sinceStart(DWORD tick) {
    return static_cast<int64_t>(static_cast<DWORD>(tick - state->startTick));
}

void writeAll(HANDLE file, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (length > 0 && file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!WriteFile(file, bytes, static_cast<DWORD>(length), &written, nullptr) ||
            written == 0) {
            return;
        }
        bytes += written;
        length -= written;
    }
}

void writeLine(const std::string& line) {
    const std::string text = line + "\r\n";
    writeAll(state->traceFile, text.data(), text.size());
}

uint64_t appendSide(const uint8_t* data, std::size_t length) {
    const uint32_t crc = trace::crc32(data, length);
    for (const State::SideBlock& block : state->sideBlocks) {
        if (block.crc == crc && block.bytes.size() == length &&
            std::memcmp(block.bytes.data(), data, length) == 0) {
            return block.offset;
        }
    }
    const uint64_t at = state->sideSize;
    state->sideBlocks.push_back(
        State::SideBlock{crc, at, std::vector<uint8_t>(data, data + length)});
    writeAll(state->sideFile, data, length);
    state->sideSize += length;
    return at;
}

std::string directoryOf(const std::string& path) {
    const std::size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != 0xFFFFFFFF;
}

// KXDREC00.TXT and .BIN beside the program, or the first number not yet taken.
void openTrace() {
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    const std::string folder = directoryOf(program);
    for (int n = 0; n < 100; ++n) {
        const char name[] = {'K',
                             'X',
                             'D',
                             'R',
                             'E',
                             'C',
                             static_cast<char>('0' + n / 10),
                             static_cast<char>('0' + n % 10),
                             '\0'};
        const std::string base = folder + "\\" + name;
        if (exists(base + ".TXT") || exists(base + ".BIN")) {
            continue;
        }
        state->traceFile = CreateFileA((base + ".TXT").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (state->traceFile == INVALID_HANDLE_VALUE) {
            continue;
        }
        state->sideFile = CreateFileA((base + ".BIN").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        break;
    }
    writeLine(trace::headerLine());
    writeLine(std::string("# program ") + program);
}

// The system's layer by its full path. Windows 95 and 98 know a module by its name alone, so
// there the load hands back this very library; the system's layer is then loaded from a copy
// under another name.
void loadRealLayer() {
    char system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    const std::string path = std::string(system, length > MAX_PATH ? 0 : length) + "\\WNASPI32.DLL";
    writeLine("# system layer " + path);
    HMODULE real = LoadLibraryA(path.c_str());
    if (real == state->self || (real == nullptr && exists(path))) {
        if (real == state->self) {
            FreeLibrary(real);
        }
        real = nullptr;
        char folder[MAX_PATH + 1] = {};
        const DWORD got = GetTempPathA(MAX_PATH, folder);
        // KXDASPI0.DLL, or the next name when another recording holds that one.
        for (char n = '0'; got != 0 && got <= MAX_PATH && real == nullptr && n <= '9'; ++n) {
            const std::string copy = std::string(folder) + "KXDASPI" + n + ".DLL";
            if (CopyFileA(path.c_str(), copy.c_str(), FALSE)) {
                real = LoadLibraryA(copy.c_str());
                writeLine("# loaded from the copy " + copy);
            }
        }
    }
    if (real == nullptr) {
        writeLine("# the system layer does not load");
        return;
    }
    state->real = real;
    state->getSupportInfo = reinterpret_cast<GetSupportInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(real, "GetASPI32SupportInfo")));
    state->sendCommand = reinterpret_cast<SendCommandFn>(
        reinterpret_cast<void*>(GetProcAddress(real, "SendASPI32Command")));
    if (state->getSupportInfo == nullptr || state->sendCommand == nullptr) {
        writeLine("# the system layer lacks an entry point");
    }
}

// With the lock held.
void start() {
    if (state->started) {
        return;
    }
    state->started = true;
    state->startTick = GetTickCount();
    openTrace();
    loadRealLayer();
}

// Puts the layer's outcome into the program's block and buffer, status last, and writes it.
// With the lock held.
void complete(Pending* p) {
    RequestBlock& caller = *p->caller;
    const uint8_t status = aspi::loadStatus(p->shadow);
    trace::Request& r = p->record;
    r.completed = sinceStart(GetTickCount());
    if (r.direction != trace::Direction::Out && !p->data.empty()) {
        // Recorded only where the layer changed the buffer: a replay that writes nothing then
        // leaves the program the same bytes.
        if (std::memcmp(caller.SRB_BufPointer, p->data.data(), p->data.size()) != 0) {
            r.dataIn = p->data;
        }
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
    r.status = status;
    r.hostStatus = p->shadow.SRB_HaStat;
    r.targetStatus = p->shadow.SRB_TargStat;
    const uint8_t* sense = p->shadow.SenseArea;
    bool senseWritten = false;
    for (std::size_t i = 0; i < sizeof p->shadow.SenseArea; ++i) {
        senseWritten = senseWritten || sense[i] != 0;
    }
    if (senseWritten) {
        r.sense.assign(sense, sense + sizeof p->shadow.SenseArea);
    }
    writeLine(trace::requestLine(r, appendSide));
    if (p->done != nullptr) {
        CloseHandle(p->done);
    }
    delete p;
}

DWORD WINAPI watch(LPVOID) {
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
        EnterCriticalSection(&state->lock);
        for (std::size_t i = 0; i < state->pending.size();) {
            Pending* p = state->pending[i];
            if (aspi::loadStatus(p->shadow) != aspi::SS_PENDING) {
                state->pending.erase(state->pending.begin() + static_cast<std::ptrdiff_t>(i));
                complete(p);
            } else {
                ++i;
            }
        }
        LeaveCriticalSection(&state->lock);
    }
}

void startWatcher() {
    if (state->workerStarted) {
        return;
    }
    state->wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    state->workerStarted = startWorkerThread(state->self, watch);
}

DWORD send(RequestBlock* block) {
    if (state->sendCommand == nullptr) {
        return aspi::SS_INVALID_HA;
    }
    if (block->SRB_Cmd != aspi::SC_EXEC_SCSI_CMD) {
        // Not a SCSI request: handed on as it is, noted without its outcome.
        writeLine("# command " + std::to_string(block->SRB_Cmd) + " passed on");
        return state->sendCommand(block);
    }
    startWatcher();
    auto* p = new Pending();
    p->caller = block;
    p->shadow = *block;
    p->submittedTick = GetTickCount();
    trace::Request& r = p->record;
    r.number = ++state->requests;
    r.submitted = sinceStart(p->submittedTick);
    r.hostAdapter = block->SRB_HaId;
    r.target = block->SRB_Target;
    r.lun = block->SRB_Lun;
    r.flags = block->SRB_Flags;
    r.dataLength = block->SRB_BufLen;
    const std::size_t cdbLength = block->SRB_CDBLen <= 16 ? block->SRB_CDBLen : 16;
    r.cdb.assign(block->CDBByte, block->CDBByte + (cdbLength != 0 ? cdbLength : 1));
    r.direction = trace::directionOf(block->SRB_Flags, block->CDBByte[0], block->SRB_BufLen);
    if (block->SRB_BufLen != 0 && block->SRB_BufPointer != nullptr) {
        const auto* data = static_cast<const uint8_t*>(block->SRB_BufPointer);
        p->data.assign(data, data + block->SRB_BufLen);
        if (r.direction == trace::Direction::Out) {
            r.dataOut = p->data;
        }
        p->shadow.SRB_BufPointer = p->data.data();
    }
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
    state->pending.push_back(p);
    const DWORD result = state->sendCommand(&p->shadow);
    SetEvent(state->wake);
    return result;
}

} // namespace

extern "C" __declspec(dllexport) DWORD __cdecl GetASPI32SupportInfo(void) {
    EnterCriticalSection(&state->lock);
    start();
    // 0E4h, failed initialisation, when there is no layer to ask.
    const DWORD value = state->getSupportInfo != nullptr ? state->getSupportInfo() : 0xE400;
    writeLine(trace::supportLine(sinceStart(GetTickCount()), value));
    LeaveCriticalSection(&state->lock);
    return value;
}

extern "C" __declspec(dllexport) DWORD __cdecl SendASPI32Command(void* block) {
    if (block == nullptr) {
        return aspi::SS_INVALID_CMD;
    }
    EnterCriticalSection(&state->lock);
    start();
    const DWORD result = send(static_cast<RequestBlock*>(block));
    LeaveCriticalSection(&state->lock);
    return result;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        state = new State();
        state->self = instance;
        InitializeCriticalSection(&state->lock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH && state != nullptr && state->started) {
        // Whatever the layer never completed is written as pending; the layer may still hold
        // the copies, so nothing of theirs is freed.
        for (Pending* p : state->pending) {
            writeLine(trace::requestLine(p->record, appendSide));
        }
        writeLine("# end");
        CloseHandle(state->traceFile);
        CloseHandle(state->sideFile);
    }
    return TRUE;
}
