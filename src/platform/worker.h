// A thread of the program's own that carries out jobs one after the other, in the order they
// were given: how a layer of ours completes requests while the program waits for them.
#pragma once

#include <functional>

namespace platform {

class Worker {
public:
    virtual ~Worker() = default;
    virtual void post(std::function<void()> job) = 0;
};

// A new worker, kept until the process ends (a job may block in the system, a drive that no
// longer answers, and nothing can take it back); null when no thread can be had.
Worker* startWorker();

} // namespace platform
