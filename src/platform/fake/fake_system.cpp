#include "platform/fake/fake_system.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace platform::fake {

void FakeEvent::set() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = true;
}

void FakeEvent::reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ = false;
}

bool FakeEvent::take() {
    std::lock_guard<std::mutex> lock(mutex_);
    const bool was = signalled_;
    signalled_ = false;
    return was;
}

bool FakeEvent::isSet() {
    std::lock_guard<std::mutex> lock(mutex_);
    return signalled_;
}

void signalEvent(EventHandle event) {
    if (event != nullptr) {
        static_cast<FakeEvent*>(event)->set();
    }
}

EventHandle retainEvent(EventHandle event) {
    if (event != nullptr) {
        auto* e = static_cast<FakeEvent*>(event);
        std::lock_guard<std::mutex> lock(e->mutex_);
        ++e->handles_;
    }
    return event;
}

void releaseEvent(EventHandle event) {
    if (event == nullptr) {
        return;
    }
    auto* e = static_cast<FakeEvent*>(event);
    bool last;
    {
        std::lock_guard<std::mutex> lock(e->mutex_);
        last = --e->handles_ == 0;
    }
    if (last) {
        delete e;
    }
}

namespace {
std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}
} // namespace

void FakeSystem::registerLibrary(const std::string& name, Exports exports) {
    libraries_[upper(name)] = std::move(exports);
}

void FakeSystem::unregisterLibrary(const std::string& name) {
    libraries_.erase(upper(name));
}

LibraryHandle FakeSystem::loadLibrary(const char* name) {
    loadedLibraries.push_back(name);
    const auto found = libraries_.find(upper(name));
    if (found == libraries_.end()) {
        return 2; // like LoadLibrary on Win9x: an error code below 32 (file not found)
    }
    const LibraryHandle handle = nextHandle_;
    nextHandle_ += 0x10000;
    handles_[handle] = found->first;
    ++openLibraries;
    return handle;
}

void* FakeSystem::procAddress(LibraryHandle library, const char* name) {
    const auto handle = handles_.find(library);
    if (handle == handles_.end()) {
        return nullptr;
    }
    const Exports& exports = libraries_[handle->second];
    const auto entry = exports.find(name);
    return entry == exports.end() ? nullptr : entry->second;
}

void FakeSystem::freeLibrary(LibraryHandle library) {
    if (handles_.erase(library) != 0) {
        --openLibraries;
    }
}

EventHandle FakeSystem::createEvent() {
    ++openEvents;
    return new FakeEvent();
}

WaitResult FakeSystem::waitForEvent(EventHandle event, unsigned long milliseconds) {
    eventWaits.push_back(milliseconds);
    auto* e = static_cast<FakeEvent*>(event);
    const bool signalled = clock_.advanceUntil(clock_.now() + static_cast<int64_t>(milliseconds),
                                               [e] { return e->isSet(); });
    if (signalled) {
        e->take();
        return WaitResult::Signalled;
    }
    return WaitResult::TimedOut;
}

void FakeSystem::resetEvent(EventHandle event) {
    static_cast<FakeEvent*>(event)->reset();
}

void FakeSystem::closeEvent(EventHandle event) {
    --openEvents;
    releaseEvent(event);
}

void FakeSystem::sleep(unsigned long milliseconds) {
    sleeps.push_back(milliseconds);
    clock_.advanceBy(static_cast<int64_t>(milliseconds));
}

uint32_t FakeSystem::tickCount() {
    return tickBase + static_cast<uint32_t>(clock_.now());
}

void FakeSystem::yieldSlice() {
    ++yields;
    std::this_thread::yield(); // a thread of the test's own may be about to write
    clock_.advanceBy(TimeSliceMs);
}

void FakeSystem::setCursor(CursorShape shape) {
    cursor = shape;
    cursorChanges.push_back(shape);
}

void FakeSystem::postQuit(int exitCode) {
    ++quitRequests;
    quitCode = exitCode;
}

bool FakeSystem::takeNamedMutex(const char* name) {
    const auto held = [name](const std::vector<std::string>& names) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (held(mutexesElsewhere) || held(mutexesTaken)) {
        return false;
    }
    mutexesTaken.push_back(name);
    return true;
}

bool FakeSystem::exitWindows(unsigned flags, unsigned long) {
    restartFlags.push_back(flags);
    return restartResult;
}

} // namespace platform::fake
