#include "platform/win32/win32_console.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

volatile LONG rule = static_cast<LONG>(InterruptRule::Note);
volatile LONG noted = 0;
const char* refused = "";

void writeAll(DWORD which, const char* data, std::size_t length) {
    const HANDLE handle = GetStdHandle(which);
    while (length > 0 && handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        if (!WriteFile(handle, data, static_cast<DWORD>(length), &written, nullptr) ||
            written == 0) {
            return;
        }
        data += written;
        length -= written;
    }
}

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
}

// Runs on a thread of the system's. Ctrl-C and Ctrl-Break are noted (or refused); a closed
// console window, a log-off or a shutdown is noted too, and the handler then holds the system
// back for as long as it lets it (a few seconds), while the program stops at its next command.
BOOL WINAPI onControl(DWORD event) {
    if (InterlockedCompareExchange(&rule, 0, 0) == static_cast<LONG>(InterruptRule::Refuse)) {
        writeAll(STD_ERROR_HANDLE, refused, lstrlenA(refused));
        if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
            return TRUE;
        }
    } else {
        InterlockedIncrement(&noted);
        if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
            return TRUE;
        }
    }
    Sleep(INFINITE); // the program ends the process when it has stopped
    return TRUE;
}

// A lock file held open without sharing for writing.
class FileLock : public RunLock {
public:
    explicit FileLock(HANDLE file) : file_(file) {}
    ~FileLock() override { CloseHandle(file_); }

private:
    HANDLE file_;
};

} // namespace

void catchInterrupts(const char* refusedText) {
    refused = refusedText;
    SetConsoleCtrlHandler(onControl, TRUE);
}

void setInterruptRule(InterruptRule value) {
    InterlockedExchange(&rule, static_cast<LONG>(value));
}

int interruptions() {
    return static_cast<int>(InterlockedCompareExchange(&noted, 0, 0));
}

std::string absolutePath(const std::string& path) {
    char buffer[MAX_PATH * 4];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length != 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

bool changeDirectory(const std::string& directory) {
    return SetCurrentDirectoryA(directory.c_str()) != FALSE;
}

std::unique_ptr<RunLock> takeRunLock(const std::string& name, const std::string& self,
                                     std::string& holder) {
    char folder[MAX_PATH + 1] = {};
    const DWORD got = GetTempPathA(MAX_PATH, folder);
    const std::string path =
        (got != 0 && got <= MAX_PATH ? std::string(folder) : std::string(".\\")) + "kxdflash-" +
        name + ".lock";
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // The holder's note, read past its lock.
        const HANDLE other =
            CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        char text[256] = {};
        DWORD read = 0;
        if (other != INVALID_HANDLE_VALUE) {
            ReadFile(other, text, sizeof text - 1, &read, nullptr);
            CloseHandle(other);
        }
        holder = read != 0 ? std::string(text, read) : "another process";
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r')) {
            holder.pop_back();
        }
        return nullptr;
    }
    const std::string note =
        "process " + std::to_string(GetCurrentProcessId()) + " (" + self + ")\r\n";
    DWORD written = 0;
    SetEndOfFile(file);
    WriteFile(file, note.data(), static_cast<DWORD>(note.size()), &written, nullptr);
    return std::unique_ptr<RunLock>(new FileLock(file));
}

namespace win32 {

void Win32Console::out(const std::string& text) {
    writeAll(STD_OUTPUT_HANDLE, text.data(), text.size());
}

void Win32Console::err(const std::string& text) {
    writeAll(STD_ERROR_HANDLE, text.data(), text.size());
}

bool Win32Console::errIsTerminal() {
    return isConsole(STD_ERROR_HANDLE);
}

int Win32Console::width() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) {
        return info.srWindow.Right - info.srWindow.Left + 1;
    }
    return 80;
}

bool Win32Console::inIsTerminal() {
    return isConsole(STD_INPUT_HANDLE);
}

bool Win32Console::readLine(std::string& line) {
    line.clear();
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const int before = interruptions();
    for (;;) {
        char c;
        DWORD got = 0;
        const BOOL read = ReadFile(in, &c, 1, &got, nullptr);
        if (interruptions() != before) {
            return false;
        }
        if (!read || got == 0) {
            return read && !line.empty(); // a last line without its line end counts
        }
        if (c == '\n') {
            return true;
        }
        if (c != '\r') {
            line += c;
        }
    }
}

} // namespace win32
} // namespace platform
