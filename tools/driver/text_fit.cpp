#include "text_fit.h"

#include <tlhelp32.h>

#include <cstdint>
#include <memory>
#include <sstream>

#include "app/main_form.h"
#include "platform/win32/window_classes.h"
#include "script.h"
#include "textfit/textfit.h"
#include "window_access.h"

namespace driver {
namespace {

constexpr DWORD RemoteThreadMs = 15000;

// Memory in the program's process, released unless a thread there may still use it.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, size_t size) : process_(process) {
        address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!address_) {
            throw Failure("cannot allocate memory in the program (error " +
                          std::to_string(GetLastError()) + ")");
        }
    }
    ~RemoteBlock() {
        if (!inUse_) {
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        }
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;

    void* address() const { return address_; }
    void write(const void* data, size_t size) {
        SIZE_T done = 0;
        if (!WriteProcessMemory(process_, address_, data, size, &done) || done != size) {
            throw Failure("cannot write into the program's memory");
        }
    }
    void read(void* data, size_t size) {
        SIZE_T done = 0;
        if (!ReadProcessMemory(process_, address_, data, size, &done) || done != size) {
            throw Failure("cannot read the program's memory");
        }
    }

    // Runs `routine` on this block in a new thread of the program and returns its exit code.
    DWORD run(uintptr_t routine) {
        HANDLE thread = CreateRemoteThread(process_, nullptr, 0,
                                           reinterpret_cast<LPTHREAD_START_ROUTINE>(routine),
                                           address_, 0, nullptr);
        if (!thread) {
            throw Failure("cannot start a thread in the program (error " +
                          std::to_string(GetLastError()) + ")");
        }
        const DWORD waited = WaitForSingleObject(thread, RemoteThreadMs);
        DWORD code = 0;
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        if (waited != WAIT_OBJECT_0) {
            inUse_ = true;
            throw Failure("the thread started in the program did not end");
        }
        return code;
    }

private:
    HANDLE process_;
    void* address_ = nullptr;
    bool inUse_ = false;
};

std::string libraryPath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, length);
    folder.erase(folder.find_last_of("\\/") + 1);
    return folder + textfit::LibraryName;
}

// Where the measuring library lies in the process, 0 when it is not loaded there.
uintptr_t libraryBase(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    uintptr_t base = 0;
    MODULEENTRY32 module{};
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more && !base;
         more = Module32Next(snapshot, &module)) {
        if (lstrcmpiA(module.szModule, textfit::LibraryName) == 0) {
            base = reinterpret_cast<uintptr_t>(module.modBaseAddr);
        }
    }
    CloseHandle(snapshot);
    return base;
}

// The entry point's address in the program: its offset in the library as loaded here.
uintptr_t entryPoint(const PROCESS_INFORMATION& program) {
    const std::string path = libraryPath();
    static HMODULE here = LoadLibraryA(path.c_str());
    FARPROC entry = here ? GetProcAddress(here, textfit::EntryPoint) : nullptr;
    if (!entry) {
        throw Failure("cannot load " + path + " (error " + std::to_string(GetLastError()) + ")");
    }
    uintptr_t base = libraryBase(program.dwProcessId);
    if (!base) {
        // LoadLibraryA lies at the same address in every process of this system.
        RemoteBlock name(program.hProcess, path.size() + 1);
        name.write(path.c_str(), path.size() + 1);
        name.run(reinterpret_cast<uintptr_t>(
            GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
        base = libraryBase(program.dwProcessId);
        if (!base) {
            throw Failure("cannot load " + path + " into the program");
        }
    }
    return base + (reinterpret_cast<uintptr_t>(entry) - reinterpret_cast<uintptr_t>(here));
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> result;
    size_t at = 0;
    for (;;) {
        const size_t tab = line.find('\t', at);
        result.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
        if (tab == std::string::npos) {
            return result;
        }
        at = tab + 1;
    }
}

} // namespace

std::vector<TextFinding> measureTexts(const PROCESS_INFORMATION& program, HWND window,
                                      const std::vector<HWND>& controls) {
    if (controls.size() > static_cast<size_t>(textfit::MaxControls)) {
        throw Failure("at most " + std::to_string(textfit::MaxControls) + " controls");
    }
    const uintptr_t entry = entryPoint(program);
    auto request = std::make_unique<textfit::Request>();
    request->window = window;
    request->count = static_cast<int>(controls.size());
    for (size_t i = 0; i < controls.size(); ++i) {
        request->controls[i] = controls[i];
    }
    RemoteBlock block(program.hProcess, sizeof(textfit::Request));
    block.write(request.get(), sizeof(textfit::Request));
    const DWORD code = block.run(entry);
    block.read(request.get(), sizeof(textfit::Request));
    request->reply[textfit::ReplySize - 1] = '\0';
    if (code == textfit::Failed) {
        throw Failure(std::string("the measuring library failed: ") + request->reply);
    }
    if (code != 0) {
        throw Failure("the measuring library's findings do not fit its reply");
    }

    std::vector<TextFinding> findings;
    std::istringstream reply(request->reply);
    std::string line;
    while (std::getline(reply, line)) {
        const std::vector<std::string> f = fields(line);
        if (f.size() == 5) {
            findings.push_back(TextFinding{f[0], toInt(f[1]), f[2], f[3], f[4]});
        }
    }
    return findings;
}

std::string describeFinding(const TextFinding& finding, HWND window) {
    // "#ID Class" and what part of it, "item 2" or "line 3"; the main window's controls by name.
    std::string what = finding.what;
    const size_t part = what.find(' ', what.find(' ') + 1);
    if (finding.id >= 0 && className(window) == platform::win32::MainWindowClass) {
        for (const auto& named : app::MainFormControls) {
            if (named.id == finding.id) {
                what = named.name + (part == std::string::npos ? "" : what.substr(part));
            }
        }
    }
    return finding.status + " " + what + " \"" + finding.text + "\"" +
           (finding.detail.empty() ? "" : " " + finding.detail);
}

} // namespace driver
