#include "scanner/sysareas/boot_records.h"

#include "qorvex.h"
#include "scanner/messages/message_ids.h"

namespace ferrox {

void scan_boot_records(const run_context& ctx, engine_handle h) {
  if (ctx.options.no_mbr) return ctx.status(kMsgSkippingMbr);
  ctx.status(kMsgScanningMbr);
  engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_MBR, nullptr, 0, 0);
  if (r != 0 && ctx.program_file.result(kMsgLabelMbr, r) == 3) return;
  r = ctx.engine.run_command(h, QVX_CMD_SCAN_GPT, nullptr, 0, 0);
  if (r != 0) ctx.program_file.result(kMsgLabelGpt, r);
}

void scan_boot_sectors(const run_context& ctx, engine_handle h) {
  if (ctx.options.no_boot) return ctx.status(kMsgSkippingBootSector);
  ctx.status(kMsgScanningBootSector);
  const engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_BOOT_SECTORS, nullptr, 0, 0);
  if (r != 0) ctx.program_file.result(kMsgLabelBootSector, r);
}

}  // namespace ferrox
