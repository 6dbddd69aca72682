// The whole disks of the system and their partitions, as sysfs lists them under /sys/block.
#ifndef QORVEX_SRC_SYSTEM_DISK_LIST_H_
#define QORVEX_SRC_SYSTEM_DISK_LIST_H_

#include <cstdint>
#include <string>
#include <vector>

#include "qorvex/src/system/system_root.h"

namespace qorvex {

inline constexpr size_t kMaxDisks = 1024;
inline constexpr size_t kMaxPartitions = 1024;  // per disk

struct partition_info {
  std::string node;    // "<root>/dev/<DEVNAME>"
  uint64_t start = 0;  // in 512-byte units, whatever the disk's sector size
};

struct disk_info {
  std::string name;  // "sda"
  std::string node;  // "<root>/dev/<DEVNAME>"
  uint32_t sector_size = 512;
  uint64_t sectors = 0;  // the size in 512-byte units
  std::vector<partition_info> partitions;
};

// The disks worth reading: not virtual (loop, ram, zram, device mapper, md and nbd devices live
// under /devices/virtual/, and their backing disks are read instead), not empty, not optical.
// Removable disks are included: boot viruses travel on them. Returns 0 or the errno of listing
// /sys/block.
int list_disks(const system_root& root, std::vector<disk_info>* disks);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_DISK_LIST_H_
