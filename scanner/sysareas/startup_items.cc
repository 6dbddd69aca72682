#include "scanner/sysareas/startup_items.h"

#include "qorvex.h"
#include "scanner/messages/message_ids.h"

namespace ferrox {

void scan_startup_items(const run_context& ctx, engine_handle h) {
  if (!ctx.options.startup) return ctx.status(kMsgSkippingStartup);
  ctx.status(kMsgScanningStartup);
  const engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_STARTUP, nullptr, 0, 0);
  if (r != 0) ctx.program_file.result(kMsgLabelScanningPath, r);
}

}  // namespace ferrox
