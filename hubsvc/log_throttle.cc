#include "hubsvc/log_throttle.h"

namespace hubsvc {

log_throttle::log_throttle(int burst, clock::duration window) : burst_(burst), window_(window) {}

std::string log_throttle::admit(const std::string& line, clock::time_point now) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!started_ || now - window_start_ >= window_) {
    started_ = true;
    window_start_ = now;
    written_ = 0;
  }
  if (written_ >= burst_) {
    ++held_;
    return {};
  }
  ++written_;
  if (held_ == 0) return line;
  std::string out = line + " (" + std::to_string(held_) + " more of these not logged)";
  held_ = 0;
  return out;
}

void log_throttle::log(log_level level, const std::string& line) {
  std::string out = admit(line);
  if (!out.empty()) system_log(level, out);
}

}  // namespace hubsvc
