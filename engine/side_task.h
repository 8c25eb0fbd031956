// One piece of work run on a second thread while the caller does another,
// such as the digests of a chunk while it is packed. wait() (or the
// destructor, on every way out) joins it. When no thread can be started the
// work runs at once on the caller's thread, so the result is the same.
#pragma once

#include <functional>
#include <thread>
#include <utility>

namespace kiroda {

class side_task {
  public:
    explicit side_task(std::function<void()> work) : work_(std::move(work)) {
        try {
            // The thread gets a pointer, not the work: if it cannot start,
            // the work is still here to run.
            thread_ = std::thread([this] { work_(); });
        } catch (...) {
            work_();
        }
    }
    ~side_task() { wait(); }
    side_task(const side_task&) = delete;
    side_task& operator=(const side_task&) = delete;

    void wait() {
        if (thread_.joinable()) thread_.join();
    }

  private:
    std::function<void()> work_;
    std::thread thread_;
};

}  // namespace kiroda
