// Kernel and shell services over the ANSI Win32 API as Windows 95/98 have it.
#pragma once

#include <string>

#include "platform/system.h"

namespace platform::win32 {

class Win32System : public System {
public:
    // Reads the program's own path (once, at start).
    Win32System();
    ~Win32System() override;
    Win32System(const Win32System&) = delete;
    Win32System& operator=(const Win32System&) = delete;

    unsigned long platformId() override;
    std::string modulePath() override { return modulePath_; }
    LibraryHandle loadLibrary(const char* name) override;
    void* procAddress(LibraryHandle library, const char* name) override;
    void freeLibrary(LibraryHandle library) override;
    EventHandle createEvent() override;
    WaitResult waitForEvent(EventHandle event, unsigned long milliseconds) override;
    void resetEvent(EventHandle event) override;
    void closeEvent(EventHandle event) override;
    void sleep(unsigned long milliseconds) override;
    uint32_t tickCount() override;
    void yieldSlice() override;
    // Screen-wide: every window of the program shows it (see screenCursorSet).
    void setCursor(CursorShape shape) override;
    void postQuit(int exitCode) override;
    bool exitWindows(unsigned flags, unsigned long reserved) override;
    bool takeNamedMutex(const char* name) override;

private:
    std::string modulePath_;
    void* mutex_ = nullptr; // the named mutex taken, kept until the program ends
};

// The program's windows answer WM_SETCURSOR with this while it is not the default; true when
// the cursor was set.
bool applyScreenCursor();

// Lets the thread's windows repaint what needs it (paint messages only: no input is taken, no
// other message is dispatched), while the thread waits for the drive.
void paintWindows();
// Throws away the keyboard and mouse input queued for the thread: what the user typed or
// clicked while the program was busy answers nothing that comes after it.
void discardQueuedInput();

} // namespace platform::win32
