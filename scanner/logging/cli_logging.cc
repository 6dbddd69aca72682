#include "scanner/logging/cli_logging.h"

#include <cstdio>

#include "scanner/cmdline/params.h"
#include "scanner/platform/system_log.h"

namespace ferrox {

cli_logging* g_logging = nullptr;

cli_logging::cli_logging() {
  if (g_params == nullptr || !g_params->parsed()) return;
  bool append = false, verbose = false;
  std::string report;
  if (!g_params->get_flag(kOptSyslog, syslog_) || !g_params->get_flag(kOptAppend, append) ||
      !g_params->get_flag(kOptVerbose, verbose) || !g_params->get_string(kOptReport, report))
    return;
  if (verbose) threshold_ = 0;
  if (!report.empty()) {
    auto file = std::make_unique<std::ofstream>();
    file->open(report, append ? std::ios::out | std::ios::app : std::ios::out | std::ios::trunc);
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

bool log_line(int32_t level, const std::string& text) {
  return g_logging && g_logging->log_message(level, text);
}

}  // namespace ferrox
