// The sample collector behind --collect-samples=. It never opens an archive, so asking for one
// always ends the configuration.
#ifndef FERROX_SCANNER_SAMPLES_COLLECT_SAMPLES_H_
#define FERROX_SCANNER_SAMPLES_COLLECT_SAMPLES_H_

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

// The process-wide collector; null when there is none.
extern collect_samples* sample_collector;

// The last configuration step of every engine object. True when the configuration may go on:
// no --collect-samples= value (or an empty one). Safe for concurrent callers: at most one
// collector exists, and it is destroyed exactly once.
bool create_sample_archive(const std::string& prefix);

// Destroys the collector, if any (exit-time clean-up).
void destroy_sample_collector();

}  // namespace ferrox

#endif  // FERROX_SCANNER_SAMPLES_COLLECT_SAMPLES_H_
