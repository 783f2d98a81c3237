#include "codec/worker_pool.h"

#include <algorithm>

namespace zmbv {

WorkerPool::WorkerPool(int threads) {
    for (int i = 1; i < threads; ++i)
        workers_.emplace_back([this] { Work(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    for (auto& worker : workers_)
        worker.join();
}

bool WorkerPool::TakeAndRun(std::unique_lock<std::mutex>& lock) {
    if (job_ == nullptr || next_ >= parts_)
        return false;
    const size_t part = next_++;
    const auto* job = job_;
    ++running_;
    lock.unlock();
    bool ok = true;
    try {
        (*job)(part);
    } catch (...) {
        ok = false;
    }
    lock.lock();
    failed_ = failed_ || !ok;
    if (--running_ == 0 && next_ >= parts_)
        done_.notify_all();
    return true;
}

void WorkerPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return quit_ || (job_ != nullptr && next_ < parts_); });
        if (quit_)
            return;
        while (TakeAndRun(lock)) {
        }
    }
}

bool WorkerPool::Run(size_t parts, const std::function<void(size_t)>& part) {
    if (workers_.empty() || parts < 2) {
        try {
            for (size_t i = 0; i < parts; ++i)
                part(i);
        } catch (...) {
            return false;
        }
        return true;
    }
    std::unique_lock lock(mutex_);
    job_ = &part;
    next_ = 0;
    parts_ = parts;
    failed_ = false;
    wake_.notify_all();
    while (TakeAndRun(lock)) {
    }
    done_.wait(lock, [this] { return running_ == 0 && next_ >= parts_; });
    job_ = nullptr;
    return !failed_;
}

int DefaultThreads() noexcept {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 4u));
}

} // namespace zmbv
