#include "scanner/sysareas/boot_records.h"

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/messages/message_ids.h"
#include "scanner/sysareas/phase_lines.h"

namespace ferrox {

void scan_boot_records(vse& engine, engine_handle h, bool verbose) {
  bool skip = false;
  if (!read_flag(kOptNoMbr, skip)) return lookup_failure_line();
  if (skip) return status_line(verbose, kMsgSkippingMbr);
  status_line(verbose, kMsgScanningMbr);
  engine_result r = engine.run_command(h, QVX_CMD_SCAN_MBR, nullptr, 0, 0);
  if (r != 0 && failure_line(kMsgLabelMbr, r) == 3) return;
  r = engine.run_command(h, QVX_CMD_SCAN_GPT, nullptr, 0, 0);
  if (r != 0) failure_line(kMsgLabelGpt, r);
}

void scan_boot_sectors(vse& engine, engine_handle h, bool verbose) {
  bool skip = false;
  if (!read_flag(kOptNoBoot, skip)) return lookup_failure_line();
  if (skip) return status_line(verbose, kMsgSkippingBootSector);
  status_line(verbose, kMsgScanningBootSector);
  const engine_result r = engine.run_command(h, QVX_CMD_SCAN_BOOT_SECTORS, nullptr, 0, 0);
  if (r != 0) failure_line(kMsgLabelBootSector, r);
}

}  // namespace ferrox
