#include "platform/win32/win32_system.h"

#include <windows.h>

#include "platform/whole_text.h"

namespace platform::win32 {
namespace {

CursorShape screenCursor = CursorShape::Default;

// What ends a wait early: a window to paint, or a message another thread sends (which the
// sender waits for, and which any look at the queue answers).
constexpr DWORD WakeMask = QS_PAINT | QS_SENDMESSAGE;

} // namespace

Win32System::Win32System() {
    // The whole path, however long: the title and the target revisions come from its end.
    modulePath_ = readWholeText([](char* buffer, unsigned long size) {
        return static_cast<unsigned long>(GetModuleFileNameA(nullptr, buffer, size));
    });
}

Win32System::~Win32System() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

unsigned long Win32System::platformId() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = 148; // the original structure, which every Windows accepts
    static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA layout");
    if (!GetVersionExA(&info)) {
        return 0;
    }
    return info.dwPlatformId;
}

LibraryHandle Win32System::loadLibrary(const char* name) {
    return reinterpret_cast<LibraryHandle>(LoadLibraryA(name));
}

void* Win32System::procAddress(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(library), name));
}

void Win32System::freeLibrary(LibraryHandle library) {
    FreeLibrary(reinterpret_cast<HMODULE>(library));
}

EventHandle Win32System::createEvent() {
    return CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

WaitResult Win32System::waitForEvent(EventHandle event, unsigned long milliseconds) {
    // The event, or a window that needs painting (or a message sent to it), whichever comes
    // first; paints do not count against the time.
    HANDLE handle = event;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        const DWORD left = elapsed >= milliseconds ? 0 : milliseconds - elapsed;
        switch (MsgWaitForMultipleObjects(1, &handle, FALSE, left, WakeMask)) {
        case WAIT_OBJECT_0:
            return WaitResult::Signalled;
        case WAIT_OBJECT_0 + 1:
            paintWindows();
            if (left == 0) {
                return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0 ? WaitResult::Signalled
                                                                       : WaitResult::TimedOut;
            }
            break;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
        }
    }
}

void Win32System::resetEvent(EventHandle event) {
    ResetEvent(event);
}

void Win32System::closeEvent(EventHandle event) {
    CloseHandle(event);
}

void Win32System::sleep(unsigned long milliseconds) {
    // In slices that end early when a window needs painting, so that a window covered and
    // uncovered meanwhile shows again at once (and a message sent to it is answered).
    const DWORD start = GetTickCount();
    for (;;) {
        paintWindows();
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) {
            return;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, WakeMask);
    }
}

uint32_t Win32System::tickCount() {
    return GetTickCount();
}

void Win32System::yieldSlice() {
    paintWindows();
    // Windows 95 has no SwitchToThread; Sleep(0) gives the slice to any thread ready to run.
    Sleep(0);
}

void Win32System::setCursor(CursorShape shape) {
    screenCursor = shape;
    // The thread that sets it is usually about to be busy: show it now, not at the next
    // mouse move.
    SetCursor(LoadCursorA(nullptr, shape == CursorShape::Hourglass ? IDC_WAIT : IDC_ARROW));
}

void Win32System::postQuit(int exitCode) {
    PostQuitMessage(exitCode);
}

bool Win32System::exitWindows(unsigned flags, unsigned long reserved) {
    return ExitWindowsEx(flags, reserved) != FALSE;
}

bool Win32System::takeNamedMutex(const char* name) {
    if (mutex_ != nullptr) {
        return false; // one is enough for a process
    }
    // Named objects are system-wide on Windows 9x and within the session on NT; either way a
    // second program asking for the name gets the first one's object, and is told so.
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    if (mutex == nullptr) {
        return false;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    mutex_ = mutex;
    return true;
}

void paintWindows() {
    // A bound on the paints taken at once: a window that never validates what it paints must
    // not hold the wait.
    MSG message;
    for (int paints = 0;
         paints < 64 && PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++paints) {
        DispatchMessageA(&message);
    }
}

void discardQueuedInput() {
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
    while (PeekMessageA(&message, nullptr, WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK, PM_REMOVE)) {
    }
}

bool applyScreenCursor() {
    if (screenCursor == CursorShape::Default) {
        return false;
    }
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    return true;
}

} // namespace platform::win32
