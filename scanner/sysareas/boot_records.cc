#include "scanner/sysareas/boot_records.h"

#include "qorvex.h"

namespace ferrox {

void scan_boot_records(const run_context& ctx, engine_handle h) {
  if (ctx.options.no_mbr) return ctx.status(122);
  ctx.status(123);
  engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_MBR, nullptr, 0, 0);
  if (r != 0 && ctx.program_file.result(124, r) == 3) return;
  r = ctx.engine.run_command(h, QVX_CMD_SCAN_GPT, nullptr, 0, 0);
  if (r != 0) ctx.program_file.result(128, r);
}

void scan_boot_sectors(const run_context& ctx, engine_handle h) {
  if (ctx.options.no_boot) return ctx.status(125);
  ctx.status(126);
  const engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_BOOT_SECTORS, nullptr, 0, 0);
  if (r != 0) ctx.program_file.result(127, r);
}

}  // namespace ferrox
