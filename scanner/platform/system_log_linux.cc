#include <syslog.h>

#include "scanner/platform/process.h"
#include "scanner/platform/system_log.h"

namespace ferrox {
namespace {
// openlog keeps the pointer, so the identity must outlive the log.
std::string g_ident;
}  // namespace

void system_log_open() {
  std::string path;
  g_ident = module_path(path) ? path.substr(path.rfind('/') + 1) : std::string("ferrox64");
  openlog(g_ident.c_str(), LOG_PID, LOG_USER);
}

void system_log_close() { closelog(); }

std::string system_log_record(const std::string& text) {
  std::string record;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!line.empty()) record += (record.empty() ? "" : " ") + line;
    start = end + 1;
  }
  return record;
}

void system_log_write(int32_t level, const std::string& text) {
  static const int kPriority[] = {LOG_DEBUG, LOG_INFO, LOG_NOTICE, LOG_ERR};
  const std::string record = system_log_record(text);
  if (record.empty()) return;
  const int priority = kPriority[level < 0 ? 0 : level > 3 ? 3 : level];
  syslog(priority, "%s", record.c_str());
}

}  // namespace ferrox
