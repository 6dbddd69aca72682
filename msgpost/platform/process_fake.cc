#include "msgpost/platform/process_fake.h"

#include <chrono>
#include <thread>

namespace platform {

namespace {

class fake_handle : public process_handle {
 public:
  explicit fake_handle(std::atomic<bool>* ended) : ended_(ended) {}
  bool wait_exit(int timeout_ms) override {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!*ended_ && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return *ended_;
  }

 private:
  std::atomic<bool>* ended_;
};

}  // namespace

std::unique_ptr<process_handle> process_fake::open_process(int32_t p) {
  {
    std::lock_guard<std::mutex> lock(mu);
    opened.push_back(p);
  }
  if (live.count(p) == 0) return nullptr;
  return std::make_unique<fake_handle>(&ended);
}

}  // namespace platform
