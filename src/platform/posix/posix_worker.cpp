// The worker on POSIX threads.
#include "platform/worker.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {
namespace {

class ThreadWorker : public Worker {
public:
    void post(std::function<void()> job) override {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            jobs_.push_back(std::move(job));
        }
        wake_.notify_one();
    }

    void run() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> hold(mutex_);
                wake_.wait(hold, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
};

// Every worker stays reachable until the process ends, so that leak checkers do not count it.
std::vector<ThreadWorker*>& workers() {
    static auto* list = new std::vector<ThreadWorker*>();
    return *list;
}

} // namespace

Worker* startWorker() {
    auto* worker = new (std::nothrow) ThreadWorker();
    if (worker == nullptr) {
        return nullptr;
    }
    try {
        std::thread([worker] { worker->run(); }).detach();
    } catch (const std::system_error&) {
        delete worker;
        return nullptr;
    }
    workers().push_back(worker);
    return worker;
}

} // namespace platform
