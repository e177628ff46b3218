// The simulated bus as an ASPI library inside a unit test: registered with the fake system as
// "WNASPI32.DLL", so that the program loads it and finds its two entry points the way it does
// on Windows. Its worker thread completes requests at the fake clock's times (one due at once
// before the submission returns); as a participant of the clock it makes every sleep, event
// wait and time slice given up stop at each due completion.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/fake/fake_system.h"
#include "sim/core/bus.h"

namespace sim {

class InProcessAspi : public platform::fake::FakeClock::Participant, private EventHost {
public:
    // Registers the library with `system`. Only one may exist at a time: the exported
    // functions are plain functions, as ASPI's are, and find it through a static.
    InProcessAspi(platform::fake::FakeSystem& system, Scenario scenario);
    ~InProcessAspi() override;
    InProcessAspi(const InProcessAspi&) = delete;
    InProcessAspi& operator=(const InProcessAspi&) = delete;

    // Runs `f` on the bus with the worker held off, e.g. to read the trace or a device.
    template <typename F> auto inspect(F f) {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(bus_);
    }

    // The exports, also for tests that call them directly.
    static uint32_t GetASPI32SupportInfo();
    static uint32_t SendASPI32Command(void* block);

    int64_t nextDue() override;
    void advancedTo(int64_t now) override;

private:
    void* holdEvent(void* post) override;
    void signalEvent(void* held) override;
    void releaseEvent(void* held) override;
    void work();

    platform::fake::FakeSystem& system_;
    Bus bus_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    bool stop_ = false;
    std::thread worker_;
};

} // namespace sim
