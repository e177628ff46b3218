#include "sim/inprocess/inprocess_aspi.h"

#include <atomic>

namespace sim {

namespace {
std::atomic<InProcessAspi*> active{nullptr};
}

InProcessAspi::InProcessAspi(platform::fake::FakeSystem& system, Scenario scenario)
    : system_(system), bus_(std::move(scenario)) {
    worker_ = std::thread([this] { work(); });
    active.store(this);
    system_.clock().addParticipant(this);
    system_.registerLibrary(
        "WNASPI32.DLL",
        {{"GetASPI32SupportInfo", reinterpret_cast<void*>(&InProcessAspi::GetASPI32SupportInfo)},
         {"SendASPI32Command", reinterpret_cast<void*>(&InProcessAspi::SendASPI32Command)}});
}

InProcessAspi::~InProcessAspi() {
    system_.clock().removeParticipant(this);
    active.store(nullptr);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    idle_.notify_all();
    worker_.join();
    bus_.shutdown(*this);
}

uint32_t InProcessAspi::GetASPI32SupportInfo() {
    InProcessAspi* self = active.load();
    if (self == nullptr) {
        return 0;
    }
    std::lock_guard<std::mutex> lock(self->mutex_);
    return self->bus_.supportInfo();
}

uint32_t InProcessAspi::SendASPI32Command(void* block) {
    InProcessAspi* self = active.load();
    if (self == nullptr || block == nullptr) {
        return 0;
    }
    const int64_t now = self->system_.clock().now();
    std::unique_lock<std::mutex> lock(self->mutex_);
    self->bus_.submit(static_cast<aspi::RequestBlock*>(block), now, *self);
    self->wake_.notify_all();
    // A request due at once (no latency) is completed by the worker before the call returns,
    // as a layer may complete a request at once: the caller's first read of the status sees it
    // every time, so that simulated time runs the same in every run of a test.
    self->idle_.wait(lock, [&] { return self->stop_ || !self->bus_.hasDueBy(now); });
    return aspi::SS_PENDING;
}

int64_t InProcessAspi::nextDue() {
    std::lock_guard<std::mutex> lock(mutex_);
    return bus_.nextDue();
}

void InProcessAspi::advancedTo(int64_t now) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!bus_.hasDueBy(now)) {
        return; // nothing for the worker: let it sleep
    }
    wake_.notify_all();
    idle_.wait(lock, [&] { return stop_ || !bus_.hasDueBy(now); });
}

void InProcessAspi::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        // The clock only moves inside FakeClock::moveTo, which calls advancedTo afterwards,
        // and that wakes this thread; reading it here under our lock is safe (the clock never
        // holds its own lock while it calls participants).
        const int64_t now = system_.clock().now();
        bus_.completeDue(now, *this);
        idle_.notify_all();
        wake_.wait(lock, [&] { return stop_ || bus_.hasDueBy(system_.clock().now()); });
    }
}

void* InProcessAspi::holdEvent(void* post) {
    return platform::fake::retainEvent(post);
}
void InProcessAspi::signalEvent(void* held) {
    platform::fake::signalEvent(held);
}
void InProcessAspi::releaseEvent(void* held) {
    platform::fake::releaseEvent(held);
}

} // namespace sim
