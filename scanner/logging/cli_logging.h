// The one output object: level filter, console streams, report file, system log, progress dots.
#ifndef FERROX_SCANNER_LOGGING_CLI_LOGGING_H_
#define FERROX_SCANNER_LOGGING_CLI_LOGGING_H_

#include <atomic>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

namespace ferrox {

// Where the output goes, from --report=, --append, --syslog and --verbose.
struct output_settings {
  std::string report_file;  // "" for none
  bool append = false;      // keep what the report file holds
  bool syslog = false;      // copy every message to the system log
  bool verbose = false;     // let level 0 through
};

// Levels: 0 only with --verbose; 1 and 2 to standard output; 3 to standard error. The report file
// gets every message that passes the filter. log_message and progress_tick may be called from any
// thread: every message is written whole to all its sinks under one lock (output_lock).
class cli_logging {
 public:
  // Not ready when the report file cannot be opened.
  explicit cli_logging(const output_settings& settings);
  virtual ~cli_logging();
  cli_logging(const cli_logging&) = delete;
  cli_logging& operator=(const cli_logging&) = delete;

  bool ready() const { return ready_; }
  // The report file, for writing the banner into it once; null when there is none.
  std::ostream* report_stream() const { return ready_ ? report_file_.get() : nullptr; }

  // Writes `text` as composed (no prefix, no line end added) when level >= threshold.
  bool log_message(int32_t level, const std::string& text);
  // Every 100th tick writes one "." to standard output (never to the report).
  bool progress_tick();

 private:
  bool ready_ = false;
  std::unique_ptr<std::ofstream> report_file_;
  bool syslog_ = false;
  int32_t threshold_ = 1;
  std::atomic<uint32_t> progress_count_{0};
};

}  // namespace ferrox

#endif  // FERROX_SCANNER_LOGGING_CLI_LOGGING_H_
