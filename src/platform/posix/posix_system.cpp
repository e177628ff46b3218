#include "platform/posix/posix_system.h"

#include "platform/console.h"

#include <sched.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform::posix {
namespace {

// An auto-reset event that lives until its last handle is let go.
struct Event {
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
    int handles = 1;
};

Event* eventOf(EventHandle handle) {
    return static_cast<Event*>(handle);
}

} // namespace

EventHandle retainEvent(EventHandle handle) {
    if (Event* e = eventOf(handle)) {
        std::lock_guard<std::mutex> hold(e->mutex);
        ++e->handles;
    }
    return handle;
}

void setEvent(EventHandle handle) {
    if (Event* e = eventOf(handle)) {
        std::lock_guard<std::mutex> hold(e->mutex);
        e->signalled = true;
        e->changed.notify_all();
    }
}

void releaseEvent(EventHandle handle) {
    Event* e = eventOf(handle);
    if (e == nullptr) {
        return;
    }
    bool last;
    {
        std::lock_guard<std::mutex> hold(e->mutex);
        last = --e->handles == 0;
    }
    if (last) {
        delete e;
    }
}

EventHandle PosixSystem::createEvent() {
    return new Event();
}

WaitResult PosixSystem::waitForEvent(EventHandle handle, unsigned long milliseconds) {
    Event* e = eventOf(handle);
    if (e == nullptr) {
        return WaitResult::Failed;
    }
    std::unique_lock<std::mutex> hold(e->mutex);
    if (!e->changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                             [e] { return e->signalled; })) {
        return WaitResult::TimedOut;
    }
    e->signalled = false; // auto-reset
    return WaitResult::Signalled;
}

void PosixSystem::resetEvent(EventHandle handle) {
    if (Event* e = eventOf(handle)) {
        std::lock_guard<std::mutex> hold(e->mutex);
        e->signalled = false;
    }
}

void PosixSystem::closeEvent(EventHandle handle) {
    releaseEvent(handle);
}

void PosixSystem::sleep(unsigned long milliseconds) {
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

uint32_t PosixSystem::tickCount() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void PosixSystem::yieldSlice() {
    sched_yield();
}

bool PosixSystem::takeNamedMutex(const char* name) {
    std::string holder;
    std::unique_ptr<RunLock> lock = takeRunLock(name, programPath_, holder);
    // Kept: the system lets it go when the process ends.
    return lock.release() != nullptr;
}

} // namespace platform::posix
