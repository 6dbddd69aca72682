// Drives: the mount points of the system, classified the way the scanner's drive classes need.
#ifndef FERROX_SCANNER_PLATFORM_DRIVES_H_
#define FERROX_SCANNER_PLATFORM_DRIVES_H_

#include <memory>
#include <string>
#include <vector>

namespace ferrox {

// Drive types, numbered as the classic drive-type values.
enum drive_type {
  kDriveNone = 0,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamDisk = 6
};

struct drive {
  std::string root;  // the mount point
  drive_type type = kDriveNone;
};

class drive_source {
 public:
  virtual ~drive_source() = default;
  // The drives in mount order. False when the mount table cannot be read. Pseudo file systems,
  // over-mounted entries, file bind mounts and duplicate bind mounts are no drives.
  virtual bool list(std::vector<drive>& out) = 0;
  // A removable drive has a medium when its file system answers (statvfs).
  virtual bool has_medium(const std::string& root) = 0;
};

// Reads `mountinfo` (default /proc/self/mountinfo) and the block devices under `sys_root` (/sys).
drive_source& default_drive_source();
std::unique_ptr<drive_source> make_drive_source(const std::string& mountinfo,
                                                const std::string& sys_root);

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_DRIVES_H_
