#include "scanner/targets/startup_items.h"

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/messages/message_ids.h"
#include "scanner/sysareas/phase_lines.h"

namespace ferrox {

void scan_startup_items(vse& engine, engine_handle h, bool verbose) {
  bool wanted = false;
  if (!read_flag(kOptStartup, wanted)) return lookup_failure_line();
  if (!wanted) return status_line(verbose, kMsgSkippingStartup);
  status_line(verbose, kMsgScanningStartup);
  const engine_result r = engine.run_command(h, QVX_CMD_SCAN_STARTUP, nullptr, 0, 0);
  if (r != 0) failure_line(kMsgLabelScanningPath, r);
}

}  // namespace ferrox
