#include "qorvex/src/worker_pool.h"

#include <pthread.h>

#include <algorithm>

#include "qorvex/src/system/cpu_budget.h"

namespace qorvex {
namespace {

std::mutex instance_mutex;
std::unique_ptr<worker_pool>& instance_slot() {
  static auto* slot = new std::unique_ptr<worker_pool>();
  return *slot;
}

// A worker keeps a context for the few sets it scanned lately. The cache holds no reference to a
// set: the context of a set that was freed is dropped at the worker's next task.
constexpr size_t kMaxCachedSets = 4;
struct cached_context {
  std::weak_ptr<const defs_set> set;
  std::unique_ptr<scan_context> context;
};
thread_local std::vector<cached_context> cached_contexts;

}  // namespace

worker_pool& worker_pool::instance() {
  std::lock_guard<std::mutex> lock(instance_mutex);
  auto& slot = instance_slot();
  if (!slot) {
    slot = std::make_unique<worker_pool>(std::min<size_t>(usable_cpus(), 64));
  }
  return *slot;
}

void worker_pool::shutdown() {
  std::lock_guard<std::mutex> lock(instance_mutex);
  instance_slot().reset();
}

worker_pool::worker_pool(size_t threads) {
  for (size_t i = 0; i < threads; ++i) {
    threads_.emplace_back([this] { run(); });
    // Named, so that `top -H` and /proc/PID/task/*/comm tell the workers apart.
    pthread_setname_np(threads_.back().native_handle(), "qvx-worker");
  }
}

worker_pool::~worker_pool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
}

void worker_pool::submit(task t) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(t));
  }
  wake_.notify_one();
}

void worker_pool::run() {
  for (;;) {
    task next;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) break;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    next();
  }
  cached_contexts.clear();
}

scan_context& worker_pool::context_for(const std::shared_ptr<const defs_set>& defs) {
  auto& cache = cached_contexts;
  std::erase_if(cache, [](const cached_context& c) { return c.set.expired(); });
  for (auto it = cache.begin(); it != cache.end(); ++it) {
    if (it->context->defs() == defs.get()) {
      std::rotate(cache.begin(), it, it + 1);  // most recent first
      return *cache.front().context;
    }
  }
  if (cache.size() >= kMaxCachedSets) cache.pop_back();
  cache.insert(cache.begin(), {defs, std::make_unique<scan_context>(defs.get())});
  return *cache.front().context;
}

}  // namespace qorvex
