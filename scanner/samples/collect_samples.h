// The sample collector behind --collect-samples=. It never opens an archive, so asking for one
// always ends the configuration.
#ifndef FERROX_SCANNER_SAMPLES_COLLECT_SAMPLES_H_
#define FERROX_SCANNER_SAMPLES_COLLECT_SAMPLES_H_

#include <memory>
#include <mutex>
#include <string>

namespace ferrox {

class collect_samples {
 public:
  collect_samples() = default;
  virtual ~collect_samples() = default;
  bool opened() const { return opened_; }

 private:
  bool opened_ = false;
};

// The run's one collector, if any. Safe for concurrent callers: test, create and destroy happen
// under one lock, so nobody sees a half-made collector and it is destroyed exactly once.
class sample_slot {
 public:
  // The last configuration step of every engine object, with the --collect-samples= file. True
  // when the configuration may go on: no file (or an empty name), or a collector already open.
  // False when the collector could not open an archive.
  bool create(const std::string& file);
  // Destroys the collector, if any (exit-time clean-up).
  void destroy();

 private:
  std::mutex mutex_;
  std::unique_ptr<collect_samples> collector_;
};

}  // namespace ferrox

#endif  // FERROX_SCANNER_SAMPLES_COLLECT_SAMPLES_H_
