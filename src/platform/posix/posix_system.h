// Kernel services over POSIX for the command-line program on Linux: the monotonic clock,
// sleeps, events, and none of a window system's (no libraries to load, no cursor, no restart).
#pragma once

#include <string>

#include "platform/system.h"

namespace platform::posix {

class PosixSystem : public System {
public:
    // `programPath` is what modulePath() reports.
    explicit PosixSystem(std::string programPath) : programPath_(std::move(programPath)) {}

    unsigned long platformId() override { return 0; }
    std::string modulePath() override { return programPath_; }
    LibraryHandle loadLibrary(const char*) override { return 0; }
    void* procAddress(LibraryHandle, const char*) override { return nullptr; }
    void freeLibrary(LibraryHandle) override {}
    EventHandle createEvent() override;
    WaitResult waitForEvent(EventHandle event, unsigned long milliseconds) override;
    void resetEvent(EventHandle event) override;
    void closeEvent(EventHandle event) override;
    // Sleeps the whole time, also when a signal comes in between.
    void sleep(unsigned long milliseconds) override;
    uint32_t tickCount() override;
    void yieldSlice() override;
    void setCursor(CursorShape) override {}
    void postQuit(int) override {}
    // A run lock (console.h) kept until the process ends.
    bool takeNamedMutex(const char* name) override;
    bool exitWindows(unsigned, unsigned long) override { return false; }

private:
    std::string programPath_;
};

// What another thread does with an event the program made: it keeps a handle of its own
// (the program may close its handle at any time), sets the event, and lets its handle go.
EventHandle retainEvent(EventHandle event);
void setEvent(EventHandle event);
void releaseEvent(EventHandle event);

} // namespace platform::posix
