// The worker on a Win32 thread.
#include <windows.h>

#include <deque>
#include <new>
#include <vector>

#include "platform/worker.h"

namespace platform {
namespace {

class ThreadWorker : public Worker {
public:
    ThreadWorker() : wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {
        InitializeCriticalSection(&lock_);
    }

    bool start() {
        DWORD id = 0;
        const HANDLE thread =
            wake_ != nullptr ? CreateThread(nullptr, 0, run, this, 0, &id) : nullptr;
        if (thread == nullptr) {
            return false;
        }
        CloseHandle(thread);
        return true;
    }

    void post(std::function<void()> job) override {
        EnterCriticalSection(&lock_);
        jobs_.push_back(std::move(job));
        LeaveCriticalSection(&lock_);
        SetEvent(wake_);
    }

private:
    static DWORD WINAPI run(LPVOID self) {
        static_cast<ThreadWorker*>(self)->work();
        return 0;
    }

    void work() {
        for (;;) {
            EnterCriticalSection(&lock_);
            if (jobs_.empty()) {
                LeaveCriticalSection(&lock_);
                WaitForSingleObject(wake_, INFINITE);
                continue;
            }
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            LeaveCriticalSection(&lock_);
            job();
        }
    }

    CRITICAL_SECTION lock_;
    HANDLE wake_;
    std::deque<std::function<void()>> jobs_;
};

} // namespace

Worker* startWorker() {
    auto* worker = new (std::nothrow) ThreadWorker();
    if (worker == nullptr || !worker->start()) {
        return nullptr; // a worker that never ran stays: its lock may not be torn down safely
    }
    return worker;
}

} // namespace platform
