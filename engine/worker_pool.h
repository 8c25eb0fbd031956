// A few threads that run jobs handed over in order: each job is taken by
// the first thread free, so jobs start in the order they were submitted
// (they may end in any). The destructor runs every job still queued, then
// joins the threads. Where no thread can be started (or none is asked for)
// submit() runs the job at once on the caller's thread: the same results,
// one after the other.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace kiroda {

// The workers an engine uses when asked for `asked` (0: one per core the
// system reports, at least one).
unsigned engine_threads(unsigned asked);

class worker_pool {
  public:
    explicit worker_pool(unsigned threads);
    ~worker_pool();
    worker_pool(const worker_pool&) = delete;
    worker_pool& operator=(const worker_pool&) = delete;

    void submit(std::function<void()> job);
    // The threads that could be started (0: every job runs in submit()).
    unsigned threads() const { return static_cast<unsigned>(threads_.size()); }

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace kiroda
