#pragma once
// A few threads that share the parts of one job with the thread that asks for it.
//
// The encoder splits a frame into bands and its deflate into pieces; on a machine with more than
// one core those run side by side. Run returns when every part is done, so the caller's data is
// never touched after it.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zmbv {

class WorkerPool {
public:
    // `threads` counts the caller: 1 runs everything on the caller's thread.
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int Threads() const noexcept { return static_cast<int>(workers_.size()) + 1; }
    // Calls part(0) .. part(parts - 1), each once, spread over the threads. Returns false when
    // a part threw (out of memory, say); the other parts still ran.
    [[nodiscard]] bool Run(size_t parts, const std::function<void(size_t)>& part);

private:
    void Work();
    bool TakeAndRun(std::unique_lock<std::mutex>& lock);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(size_t)>* job_ = nullptr;
    size_t next_ = 0, parts_ = 0, running_ = 0;
    bool quit_ = false, failed_ = false;
};

// The threads worth using on this machine: its cores, at most four.
int DefaultThreads() noexcept;

} // namespace zmbv
