// The system log behind --syslog.
#ifndef FERROX_SCANNER_PLATFORM_SYSTEM_LOG_H_
#define FERROX_SCANNER_PLATFORM_SYSTEM_LOG_H_

#include <cstdint>
#include <string>

namespace ferrox {

// Opens the log with the program's base name as identity, the process id in each record and the
// user facility. Call once; close at the end.
void system_log_open();
void system_log_close();
// One record per message: its non-empty lines, trailing blanks trimmed, joined by one blank.
// Levels 0..3 map to debug, info, notice, error. A message of line ends only sends nothing.
void system_log_write(int32_t level, const std::string& text);
// The record system_log_write sends for `text` (exposed for tests).
std::string system_log_record(const std::string& text);

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_SYSTEM_LOG_H_
