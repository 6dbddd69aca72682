// The system log (the journal or syslog) as the service writes to it.
#ifndef HUBSVC_SYSTEM_LOG_H_
#define HUBSVC_SYSTEM_LOG_H_

#include <string>

namespace hubsvc {

enum class log_level { error, notice, info };

// Names the service in the log (ident "hubsvc", facility daemon). Call once, early.
void open_system_log();
// Writes one line. A log that cannot be reached loses the line silently.
void system_log(log_level level, const std::string& text);

}  // namespace hubsvc

#endif  // HUBSVC_SYSTEM_LOG_H_
