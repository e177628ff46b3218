// Kernel and shell services the logic uses: everything time-, library- and process-related
// goes through here so that the logic runs unchanged against the test doubles.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum class CursorShape { Default, Hourglass };

// Opaque handles; 0 is "none".
using LibraryHandle = intptr_t;
using EventHandle = void*;

enum class WaitResult { Signalled, TimedOut, Failed };

class System {
public:
    virtual ~System() = default;

    // GetVersionExA's platform identifier (2 is the NT family).
    virtual unsigned long platformId() = 0;
    // The program's own full path, as read once at start.
    virtual std::string modulePath() = 0;

    virtual LibraryHandle loadLibrary(const char* name) = 0;
    virtual void* procAddress(LibraryHandle library, const char* name) = 0;
    virtual void freeLibrary(LibraryHandle library) = 0;

    // Unnamed, auto-reset, not signalled.
    virtual EventHandle createEvent() = 0;
    virtual WaitResult waitForEvent(EventHandle event, unsigned long milliseconds) = 0;
    virtual void resetEvent(EventHandle event) = 0;
    virtual void closeEvent(EventHandle event) = 0;

    virtual void sleep(unsigned long milliseconds) = 0;
    // Milliseconds since some moment, wrapping around after 2^32 (GetTickCount): only the
    // difference between two readings means anything.
    virtual uint32_t tickCount() = 0;
    // Gives the rest of the thread's time slice to whatever else is ready to run (Sleep(0));
    // returns at once when nothing is. A wait that re-reads memory calls it between two reads.
    virtual void yieldSlice() = 0;
    virtual void setCursor(CursorShape shape) = 0;
    virtual void postQuit(int exitCode) = 0;
    // Makes the named system-wide mutex and keeps it for as long as the process lives (the
    // system lets it go when the process ends, however it ends); false when one of that name
    // exists already, held by another process, or none can be made.
    virtual bool takeNamedMutex(const char* name) = 0;
    // ExitWindowsEx; the result is the system's.
    virtual bool exitWindows(unsigned flags, unsigned long reserved) = 0;
};

// The hourglass while a busy piece of work runs: set when made, back to the default cursor when
// it goes, whichever way the work ends (a thrown failure included).
class HourglassCursor {
public:
    explicit HourglassCursor(System& system) : system_(system) {
        system_.setCursor(CursorShape::Hourglass);
    }
    ~HourglassCursor() { system_.setCursor(CursorShape::Default); }
    HourglassCursor(const HourglassCursor&) = delete;
    HourglassCursor& operator=(const HourglassCursor&) = delete;

private:
    System& system_;
};

} // namespace platform
