#include "platform/TaskThread.h"

#include <utility>

namespace keldara::platform {

TaskThread::~TaskThread() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void TaskThread::post(std::function<void()> job) {
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        if (!thread_.joinable()) thread_ = std::thread([this] { serve(); });
    }
    changed_.notify_one();
}

void TaskThread::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty()) return;  // ending, with nothing left to run
        std::vector<std::function<void()>> jobs = std::exchange(jobs_, {});
        lock.unlock();
        for (std::function<void()>& job : jobs) job();
        lock.lock();
    }
}

}  // namespace keldara::platform
