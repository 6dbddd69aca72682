// Holds one kind of log line to a few a minute, so that a hostile client cannot flood the system
// log; the first line let through after a hold says how many were held back.
#ifndef HUBSVC_LOG_THROTTLE_H_
#define HUBSVC_LOG_THROTTLE_H_

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "hubsvc/system_log.h"

namespace hubsvc {

class log_throttle {
 public:
  using clock = std::chrono::steady_clock;

  // At most `burst` lines in each window of `window`.
  explicit log_throttle(int burst = 10, clock::duration window = std::chrono::minutes(1));

  // The line to write now, or an empty text when it is held back. Safe from any thread.
  std::string admit(const std::string& line, clock::time_point now = clock::now());
  // admit(), then system_log() of what it lets through.
  void log(log_level level, const std::string& line);

 private:
  const int burst_;
  const clock::duration window_;
  std::mutex mu_;
  clock::time_point window_start_{};
  bool started_ = false;
  int written_ = 0;
  uint64_t held_ = 0;
};

}  // namespace hubsvc

#endif  // HUBSVC_LOG_THROTTLE_H_
