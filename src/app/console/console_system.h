// The system as the command-line flasher's drive commands see it: the real clock, sleeps and
// events, with a wait for the bridge's next completion where the polling waits give up their
// time slice (so that a poll costs no processor while the drive works), and none of a window
// system's services (the cursor, the quit request, the restart).
#pragma once

#include "platform/system.h"

namespace console {

class ConsoleSystem : public platform::System {
public:
    explicit ConsoleSystem(platform::System& inner)
        : inner_(inner), completions_(inner.createEvent()) {}
    ~ConsoleSystem() override { inner_.closeEvent(completions_); }
    ConsoleSystem(const ConsoleSystem&) = delete;
    ConsoleSystem& operator=(const ConsoleSystem&) = delete;

    // Set by whoever completes a request.
    platform::EventHandle completions() const { return completions_; }

    unsigned long platformId() override { return inner_.platformId(); }
    std::string modulePath() override { return inner_.modulePath(); }
    platform::LibraryHandle loadLibrary(const char*) override { return 0; }
    void* procAddress(platform::LibraryHandle, const char*) override { return nullptr; }
    void freeLibrary(platform::LibraryHandle) override {}
    platform::EventHandle createEvent() override { return inner_.createEvent(); }
    platform::WaitResult waitForEvent(platform::EventHandle event, unsigned long ms) override {
        return inner_.waitForEvent(event, ms);
    }
    void resetEvent(platform::EventHandle event) override { inner_.resetEvent(event); }
    void closeEvent(platform::EventHandle event) override { inner_.closeEvent(event); }
    void sleep(unsigned long milliseconds) override { inner_.sleep(milliseconds); }
    uint32_t tickCount() override { return inner_.tickCount(); }
    // At most a millisecond, less when a request completes meanwhile.
    void yieldSlice() override { inner_.waitForEvent(completions_, 1); }
    void setCursor(platform::CursorShape) override {}
    void postQuit(int) override {}
    bool takeNamedMutex(const char* name) override { return inner_.takeNamedMutex(name); }
    bool exitWindows(unsigned, unsigned long) override { return false; }

private:
    platform::System& inner_;
    platform::EventHandle completions_;
};

} // namespace console
