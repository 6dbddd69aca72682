#include "scanner/samples/collect_samples.h"

namespace ferrox {

bool sample_slot::create(const std::string& file) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file.empty() || collector_ != nullptr) return true;
  collector_ = std::make_unique<collect_samples>();
  if (collector_->opened()) return true;
  collector_.reset();
  return false;
}

void sample_slot::destroy() {
  std::lock_guard<std::mutex> lock(mutex_);
  collector_.reset();
}

}  // namespace ferrox
