// Test double of the kernel and shell services: simulated time, libraries registered by the
// test (the in-process drive layer among them), events the layer can signal from its thread,
// and a record of the cursor, quit requests and restarts.
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/fake/fake_clock.h"
#include "platform/system.h"

namespace platform::fake {

class FakeEvent {
public:
    void set();
    void reset();
    // Takes the signal if there is one (auto-reset).
    bool take();
    bool isSet();

private:
    friend EventHandle retainEvent(EventHandle event);
    friend void releaseEvent(EventHandle event);
    std::mutex mutex_;
    bool signalled_ = false;
    int handles_ = 1; // the event lives until its last handle is closed
};

// Signals an event given by its handle, as the real layer calls SetEvent.
void signalEvent(EventHandle event);
// A second handle on the same event, as the real layer gets one with DuplicateHandle so that
// it can signal the event after the program has closed its own handle; release it when done.
EventHandle retainEvent(EventHandle event);
void releaseEvent(EventHandle event);

class FakeSystem : public System {
public:
    using Exports = std::map<std::string, void*>;

    FakeClock& clock() { return clock_; }

    unsigned long platformIdValue = 1;
    std::string modulePathValue = "C:\\FLASH\\W9XKV8105.EXE";
    void registerLibrary(const std::string& name, Exports exports);
    void unregisterLibrary(const std::string& name);

    // What the program did.
    std::vector<std::string> loadedLibraries;
    int openLibraries = 0;
    std::vector<CursorShape> cursorChanges;
    CursorShape cursor = CursorShape::Default;
    int quitRequests = 0;
    int quitCode = -1;
    std::vector<unsigned> restartFlags;
    // Named mutexes that other processes hold, and those this one took.
    std::vector<std::string> mutexesElsewhere;
    std::vector<std::string> mutexesTaken;
    bool restartResult = true;
    int openEvents = 0;
    std::vector<unsigned long> sleeps;
    std::vector<unsigned long> eventWaits;
    // Time slices given up; each one passes TimeSliceMs on the clock, so that a wait that
    // re-reads memory sees simulated time go by.
    long long yields = 0;
    static constexpr int64_t TimeSliceMs = 10;
    // The tick count reads the clock from this value on (a test may start it near the wrap).
    uint32_t tickBase = 0;

    unsigned long platformId() override { return platformIdValue; }
    std::string modulePath() override { return modulePathValue; }
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
    void setCursor(CursorShape shape) override;
    void postQuit(int exitCode) override;
    bool takeNamedMutex(const char* name) override;
    bool exitWindows(unsigned flags, unsigned long reserved) override;

private:
    FakeClock clock_;
    std::map<std::string, Exports> libraries_;
    std::map<LibraryHandle, std::string> handles_;
    LibraryHandle nextHandle_ = 0x10000000;
};

} // namespace platform::fake
