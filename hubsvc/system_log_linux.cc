#include <syslog.h>

#include "hubsvc/system_log.h"

namespace hubsvc {

void open_system_log() { openlog("hubsvc", LOG_PID, LOG_DAEMON); }

void system_log(log_level level, const std::string& text) {
  int priority = level == log_level::error    ? LOG_ERR
                 : level == log_level::notice ? LOG_NOTICE
                                              : LOG_INFO;
  syslog(priority, "%s", text.c_str());
}

}  // namespace hubsvc
