// The end-to-end test driver: starts a Windows program, watches its windows and message boxes
// from outside, acts on them like a user and checks what they show, following a script of one
// step per line (see tools/README.md). Exit code 0 when every step passed.
#include "driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>

#include "app/main_form.h"

namespace driver {

void Driver::record(const std::string& line) {
    transcript_.push_back(line);
    if (transcriptPath.empty()) {
        return;
    }
    std::ofstream out(transcriptPath, std::ios::app | std::ios::binary);
    out << line << "\n";
}

struct WindowsOfProcess {
    DWORD pid;
    std::vector<HWND>* out;
    std::exception_ptr failure; // thrown again once the enumeration has returned
};

// A callback of the system's own calling convention (stdcall in the i686 build). No exception
// passes through the system's frames: it ends the enumeration and waits on the other side.
BOOL CALLBACK collectWindowOfProcess(HWND window, LPARAM param) {
    auto* c = reinterpret_cast<WindowsOfProcess*>(param);
    try {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == c->pid && IsWindowVisible(window)) {
            c->out->push_back(window);
        }
        return TRUE;
    } catch (...) {
        c->failure = std::current_exception();
        return FALSE;
    }
}

std::vector<HWND> Driver::topWindows() {
    std::vector<HWND> result;
    if (!running_ && process_.dwProcessId == 0) {
        return result;
    }
    WindowsOfProcess context{process_.dwProcessId, &result, nullptr};
    EnumWindows(collectWindowOfProcess, reinterpret_cast<LPARAM>(&context));
    if (context.failure) {
        std::rethrow_exception(context.failure);
    }
    return result;
}

// Notes new boxes and boxes that went away; runs at every poll of every wait.
void Driver::poll() {
    const std::vector<HWND> windows = topWindows();
    for (Seen& s : seen_) {
        if (s.open && (std::find(windows.begin(), windows.end(), s.window) == windows.end() ||
                       !IsWindow(s.window))) {
            s.open = false;
            if (s.answer.empty()) {
                record("  closed without an answer from the driver");
            }
        }
    }
    for (HWND window : windows) {
        if (!isBoxWindow(window)) {
            continue;
        }
        bool known = false;
        for (const Seen& s : seen_) {
            known = known || (s.open && s.window == window);
        }
        if (known) {
            continue;
        }
        Box box = readBox(window);
        if (box.buttons.empty()) {
            continue; // not built completely yet
        }
        seen_.push_back(Seen{window, box, "", true});
        record("box " + quoted(box.caption) + " " + quoted(box.text) + " " +
               joinQuoted(box.buttons));
    }
}

DWORD Driver::requireProcess() {
    if (process_.dwProcessId == 0) {
        throw Failure("no program started");
    }
    return process_.dwProcessId;
}

HWND Driver::requireWindow() {
    if (!window_ || !IsWindow(window_)) {
        throw Failure("no current window (use wait-window)");
    }
    return window_;
}

HWND Driver::requireBox() {
    if (box_ && IsWindow(box_) && IsWindowVisible(box_)) {
        return box_;
    }
    for (const Seen& s : seen_) {
        if (s.open && IsWindow(s.window)) {
            return box_ = s.window;
        }
    }
    throw Failure("no message box open");
}

// A control of the current window: a name of the main window's table, #ID, or Class:N (the
// N-th child of that class, from 1).
HWND Driver::findControl(const std::string& selector) {
    HWND window = requireWindow();
    int id = -1;
    for (const auto& named : app::MainFormControls) {
        if (selector == named.name) {
            id = named.id;
        }
    }
    if (id < 0 && !selector.empty() && selector[0] == '#') {
        id = std::atoi(selector.c_str() + 1);
    }
    if (id >= 0) {
        HWND control = GetDlgItem(window, id);
        if (!control) {
            throw Failure("no control " + selector);
        }
        return control;
    }
    const size_t colon = selector.rfind(':');
    if (colon != std::string::npos) {
        const std::string cls = selector.substr(0, colon);
        int n = std::atoi(selector.c_str() + colon + 1);
        for (HWND child : children(window)) {
            if (lstrcmpiA(className(child).c_str(), cls.c_str()) == 0 && --n == 0) {
                return child;
            }
        }
    }
    throw Failure("no control " + selector);
}

void Driver::settle(HWND window) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs_, &ignored);
}

void Driver::swapProgram(Program& other) {
    std::swap(process_, other.process);
    std::swap(running_, other.running);
    std::swap(window_, other.window);
    std::swap(box_, other.box);
    std::swap(seen_, other.seen);
}

void Driver::postKey(HWND target, WORD code) {
    const UINT scan = MapVirtualKeyA(code, 0);
    PostMessageA(target, WM_KEYDOWN, code, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, code, 1 | (scan << 16) | 0xC0000000u);
}

void Driver::screenshot(const std::string& name) {
    const char* dir = std::getenv("KXD_SHOT_DIR");
    if (!dir || !*dir) {
        std::printf("  (no KXD_SHOT_DIR: screenshot %s skipped)\n", name.c_str());
        return;
    }
    const std::string base = windowsPath(dir) + "\\" + name;
    DeleteFileA((base + ".png").c_str());
    { std::ofstream request(base + ".request"); }
    waitFor("screenshot " + name, [&](std::string&) {
        return GetFileAttributesA((base + ".png").c_str()) != 0xFFFFFFFF;
    });
}

namespace {

void endProcess(PROCESS_INFORMATION& process) {
    if (process.hProcess) {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        process = PROCESS_INFORMATION{};
    }
}

} // namespace

// The hook library's CbtHook in the program's first thread, which has not run yet: the system
// loads the library into the program when the thread makes its first window.
void Driver::hookProgram() {
    if (hook_) { // a program set aside made its windows long ago
        UnhookWindowsHookEx(hook_);
    }
    HMODULE library = LoadLibraryA(hookLibrary_.c_str());
    const auto procedure = library ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(
                                         GetProcAddress(library, "CbtHook")))
                                   : nullptr;
    hook_ =
        procedure ? SetWindowsHookExA(WH_CBT, procedure, library, process_.dwThreadId) : nullptr;
    if (!hook_) {
        throw Failure("cannot hook " + hookLibrary_ + " into the program (error " +
                      std::to_string(GetLastError()) + ")");
    }
}

void Driver::stopProgram() {
    for (Program& other : aside_) {
        endProcess(other.process);
    }
    aside_.clear();
    endProcess(process_);
    releaseProgram();
}

// Lets go of a program that has ended: its handles and the hook in its thread.
void Driver::releaseProgram() {
    if (hook_) {
        UnhookWindowsHookEx(hook_);
        hook_ = nullptr;
    }
    if (process_.hProcess) {
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    process_ = PROCESS_INFORMATION{};
    running_ = false;
    window_ = nullptr;
}
int Driver::runScript(const std::string& path) {
    std::ifstream in(windowsPath(path), std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "driver: cannot read %s\n", path.c_str());
        return 2;
    }
    if (!transcriptPath.empty()) {
        transcriptPath = windowsPath(transcriptPath);
        std::ofstream truncate(transcriptPath, std::ios::trunc);
    }
    std::string line;
    int number = 0;
    const DWORD scriptStart = GetTickCount();
    while (std::getline(in, line)) {
        ++number;
        Words words;
        try {
            words = splitLine(line, variables);
            if (words.empty()) {
                continue;
            }
            const DWORD start = GetTickCount();
            std::printf("%4d: %s", number, words[0].c_str());
            for (size_t i = 1; i < words.size(); ++i) {
                std::printf(" %s", quoted(words[i]).c_str());
            }
            std::fflush(stdout);
            step(words);
            std::printf("  [%lu ms]\n", static_cast<unsigned long>(GetTickCount() - start));
            std::fflush(stdout);
        } catch (const Failure& failure) {
            std::printf("\n");
            std::fprintf(stderr, "driver: %s:%d: %s\n", path.c_str(), number, failure.what());
            std::fprintf(stderr, "driver: windows of the program:\n");
            for (HWND window : topWindows()) {
                RECT r;
                GetWindowRect(window, &r);
                std::fprintf(stderr, "  %s %s %ldx%ld\n", className(window).c_str(),
                             quoted(windowText(window)).c_str(), r.right - r.left,
                             r.bottom - r.top);
                for (HWND child : children(window)) {
                    std::fprintf(stderr, "    #%d %s %s%s\n", GetDlgCtrlID(child),
                                 className(child).c_str(), quoted(windowText(child)).c_str(),
                                 IsWindowVisible(child) ? "" : " (hidden)");
                }
            }
            if (std::getenv("KXD_SHOT_DIR")) {
                try {
                    screenshot("failure");
                } catch (const Failure&) {
                }
            }
            std::fflush(stderr);
            stopProgram();
            return 1;
        }
    }
    std::printf("driver: %s passed in %lu ms\n", path.c_str(),
                static_cast<unsigned long>(GetTickCount() - scriptStart));
    if (process_.hProcess || !aside_.empty()) {
        std::fprintf(stderr, "driver: the program still runs at the end of the script; ended\n");
        stopProgram();
        return 1;
    }
    return 0;
}

} // namespace driver

int main(int argc, char** argv) {
    driver::Driver driver;
    std::string script;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-D" && i + 1 < argc) {
            const std::string definition = argv[++i];
            const size_t eq = definition.find('=');
            driver.variables[definition.substr(0, eq)] =
                eq == std::string::npos ? "" : definition.substr(eq + 1);
        } else if (arg == "--transcript" && i + 1 < argc) {
            driver.transcriptPath = argv[++i];
        } else if (script.empty() && arg[0] != '-') {
            script = arg;
        } else {
            script.clear();
            break;
        }
    }
    if (script.empty()) {
        std::fprintf(stderr, "usage: driver [-D NAME=VALUE]... [--transcript FILE] SCRIPT\n"
                             "  steps: see tools/README.md\n");
        return 2;
    }
    return driver.runScript(script);
}
