// Commands 3, 4 and 5: the boot sectors of the partitions, the master boot records and the GUID
// partition tables of every whole disk, each read from the disk and scanned in memory.
#ifndef QORVEX_SRC_SYSTEM_BOOT_RECORDS_H_
#define QORVEX_SRC_SYSTEM_BOOT_RECORDS_H_

#include <cstdint>

#include "qorvex/src/system/system_root.h"

namespace qorvex {

class engine_object;

enum class boot_area {
  boot_sectors,  // the first sector of every partition: "<partition node>>boot sector"
  mbr,           // sector 0 of every disk: "<disk node>>MBR"
  gpt,           // the table header at LBA 1 and its entry array: ">GPT header", ">GPT entries"
};

// Scans the area on every disk that can be read. Returns 0 when at least one disk was read
// (unreadable ones are skipped, and a disk without a partition table is no failure); when none
// was, -3 if access to one was denied, else 4 (no disks, no device nodes, no medium).
int32_t scan_boot_area(engine_object& object, const system_root& root, boot_area area);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_BOOT_RECORDS_H_
