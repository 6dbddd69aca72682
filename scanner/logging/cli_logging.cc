#include "scanner/logging/cli_logging.h"

#include <cstdio>

#include "scanner/platform/system_log.h"

namespace ferrox {

cli_logging::cli_logging(const output_settings& settings) : syslog_(settings.syslog) {
  if (settings.verbose) threshold_ = 0;
  if (!settings.report_file.empty()) {
    auto file = std::make_unique<std::ofstream>();
    const auto mode =
        settings.append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc;
    file->open(settings.report_file, mode);
    if (!file->is_open()) return;
    report_file_ = std::move(file);
  }
  if (syslog_) system_log_open();
  ready_ = true;
}

cli_logging::~cli_logging() {
  if (ready_ && syslog_) system_log_close();
}

bool cli_logging::log_message(int32_t level, const std::string& text) {
  if (!ready_) return false;
  if (level < threshold_) return true;
#pragma omp critical(output_lock)
  {
    std::FILE* console = level == 3 ? stderr : stdout;
    std::fwrite(text.data(), 1, text.size(), console);
    std::fflush(console);
    if (report_file_) {
      report_file_->write(text.data(), static_cast<std::streamsize>(text.size()));
      report_file_->flush();
    }
    if (syslog_) system_log_write(level, text);
  }
  return true;
}

bool cli_logging::progress_tick() {
  if (!ready_) return false;
  const uint32_t count = progress_count_.fetch_add(1) + 1;
  if (count % 100 == 0) {
#pragma omp critical(output_lock)
    {
      std::fputs(".", stdout);
      std::fflush(stdout);
    }
  }
  return true;
}

}  // namespace ferrox
