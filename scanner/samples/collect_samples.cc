#include "scanner/samples/collect_samples.h"

#include <mutex>

#include "scanner/cmdline/params.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"

namespace ferrox {

collect_samples* sample_collector = nullptr;

namespace {
std::mutex g_collector_mutex;
}

bool create_sample_archive(const std::string& prefix) {
  std::string file;
  if (!read_string(kOptCollectSamples, file)) {
    log_line(3, prefix + ": " + msg(kMsgInternalError) + "\n");
    return false;
  }
  {
    // Test, create and destroy under one lock, so concurrent callers never see a half-made one.
    std::lock_guard<std::mutex> lock(g_collector_mutex);
    if (file.empty() || sample_collector != nullptr) return true;
    sample_collector = new collect_samples();
    if (sample_collector->opened()) return true;
    delete sample_collector;
    sample_collector = nullptr;
  }
  log_line(3, prefix + ": " + msg(kMsgSampleArchiveFailed) + "\n");
  return false;
}

void destroy_sample_collector() {
  std::lock_guard<std::mutex> lock(g_collector_mutex);
  delete sample_collector;
  sample_collector = nullptr;
}

}  // namespace ferrox
