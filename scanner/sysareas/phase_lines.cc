#include "scanner/sysareas/phase_lines.h"

#include <sstream>

#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/run/process_globals.h"

namespace ferrox {

void status_line(bool verbose, message_id id) {
  if (verbose) log_line(1, msg(id) + "\n");
}

int32_t failure_line(message_id label, engine_result result) {
  std::ostringstream line;
  line << program_path << ": " << msg(label) << " ";
  const int32_t level = describe_result(result, line);
  line << "\n";
  log_line(level, line.str());
  return level;
}

void lookup_failure_line() { log_line(3, msg(kMsgInternalError) + "\n"); }

}  // namespace ferrox
