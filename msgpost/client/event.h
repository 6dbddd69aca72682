// A manual-reset event: once set it stays set, and every waiter wakes.
#ifndef MSGPOST_CLIENT_EVENT_H_
#define MSGPOST_CLIENT_EVENT_H_

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace msgpost {

class manual_event {
 public:
  void set() {
    std::lock_guard<std::mutex> lock(mu_);
    set_ = true;
    cv_.notify_all();
  }
  bool is_set() {
    std::lock_guard<std::mutex> lock(mu_);
    return set_;
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mu_);
    cv_.wait(lock, [this] { return set_; });
  }
  // Waits at most timeout_ms (-1: no limit); true when the event is set.
  bool wait_for(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mu_);
    if (timeout_ms < 0) {
      cv_.wait(lock, [this] { return set_; });
      return true;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return set_; });
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  bool set_ = false;
};

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_EVENT_H_
