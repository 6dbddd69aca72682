// The master boot record, GUID partition table and boot sector scans.
#ifndef FERROX_SCANNER_SYSAREAS_BOOT_RECORDS_H_
#define FERROX_SCANNER_SYSAREAS_BOOT_RECORDS_H_

#include "scanner/context/run_context.h"

namespace ferrox {

// Unless --nombr: the master boot record, then (unless that failed at level 3) the partition table.
void scan_boot_records(const run_context& ctx, engine_handle h);
// Unless --noboot: the boot sectors.
void scan_boot_sectors(const run_context& ctx, engine_handle h);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SYSAREAS_BOOT_RECORDS_H_
