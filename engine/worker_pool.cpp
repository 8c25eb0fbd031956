#include "engine/worker_pool.h"

#include <utility>

namespace kiroda {

unsigned engine_threads(unsigned asked) {
    if (asked > 0) return asked;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? cores : 1;
}

worker_pool::worker_pool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this] { run(); });
        } catch (...) {
            break;  // fewer threads; with none, jobs run in submit()
        }
    }
}

worker_pool::~worker_pool() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void worker_pool::submit(std::function<void()> job) {
    if (!threads_.empty()) {
        try {
            const std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(job));
        } catch (...) {
            // No memory for the queue: the job is still here to run.
            if (job) job();
            return;
        }
        changed_.notify_one();
        return;
    }
    job();
}

void worker_pool::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
            // Queued jobs run even after quit: a job's owner waits for it.
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        job();
    }
}

}  // namespace kiroda
