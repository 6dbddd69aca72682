// The process-wide pool of scan workers: one thread per CPU the process may use (its affinity
// mask within its cgroup's CPU quota, at most 64), shared by every engine object, so that the
// scanner's own threads never multiply the engine's. The threads are named "qvx-worker".
#ifndef QORVEX_SRC_WORKER_POOL_H_
#define QORVEX_SRC_WORKER_POOL_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "qorvex/src/scan_context.h"

namespace qorvex {

class worker_pool {
 public:
  using task = std::function<void()>;

  // The pool, started on first use (again after shutdown()). Thread-safe.
  static worker_pool& instance();
  // Stops the workers after the queued tasks ran. Only when no command is running.
  static void shutdown();

  size_t size() const { return threads_.size(); }
  // Queues a task; tasks run in submission order across the workers. Thread-safe.
  void submit(task t);

  // On a worker thread: the worker's scan context for this set, made on first use.
  static scan_context& context_for(const std::shared_ptr<const defs_set>& defs);

  explicit worker_pool(size_t threads);
  ~worker_pool();

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<task> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

// Waits for a group of tasks submitted by one command; the caller raises their events.
class completion {
 public:
  void mark_done(bool* flag) {
    std::lock_guard<std::mutex> lock(mutex_);
    *flag = true;
    cv_.notify_all();
  }
  void wait_for(const bool* flag) {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [flag] { return *flag; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_WORKER_POOL_H_
