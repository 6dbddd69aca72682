#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <set>
#include <sstream>

#include "scanner/platform/drives.h"

namespace ferrox {
namespace {

struct mount_entry {
  std::string id, parent, root, point, fstype, source;
  unsigned major = 0, minor = 0;
};

// mountinfo writes blanks, tabs, line ends and backslashes as octal escapes.
std::string unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size()) {
      const std::string oct = s.substr(i + 1, 3);
      if (oct.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(oct, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

bool parse_line(const std::string& line, mount_entry& e) {
  std::istringstream in(line);
  std::string majmin, opts, field;
  if (!(in >> e.id >> e.parent >> majmin >> e.root >> e.point >> opts)) return false;
  while (in >> field && field != "-") {
  }
  if (field != "-" || !(in >> e.fstype >> e.source)) return false;
  if (std::sscanf(majmin.c_str(), "%u:%u", &e.major, &e.minor) != 2) return false;
  e.root = unescape(e.root);
  e.point = unescape(e.point);
  e.source = unescape(e.source);
  return true;
}

const std::set<std::string>& pseudo_types() {
  static const std::set<std::string> s = {
      "proc",        "sysfs",      "devtmpfs",    "devpts",          "cgroup",
      "cgroup2",     "securityfs", "debugfs",     "tracefs",         "pstore",
      "bpf",         "mqueue",     "hugetlbfs",   "configfs",        "fusectl",
      "binfmt_misc", "autofs",     "efivarfs",    "selinuxfs",       "rpc_pipefs",
      "nfsd",        "nsfs",       "fuse.portal", "fuse.gvfsd-fuse", "ramfs"};
  return s;
}

bool is_remote(const std::string& t) {
  static const std::set<std::string> s = {
      "nfs",           "nfs4",          "cifs",         "smb3",        "smbfs",
      "ncpfs",         "afs",           "ceph",         "glusterfs",   "9p",
      "virtiofs",      "lustre",        "beegfs",       "gpfs",        "orangefs",
      "coda",          "davfs",         "vboxsf",       "fuse.sshfs",  "fuse.glusterfs",
      "fuse.rclone",   "fuse.s3fs",     "fuse.gcsfuse", "fuse.davfs2", "fuse.ceph-fuse",
      "fuse.smbnetfs", "fuse.curlftpfs"};
  return s.count(t) > 0;
}

std::string read_first_line(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

class linux_drive_source : public drive_source {
 public:
  linux_drive_source(std::string mountinfo, std::string sys_root)
      : mountinfo_(std::move(mountinfo)), sys_(std::move(sys_root)) {}

  bool list(std::vector<drive>& out) override {
    std::ifstream in(mountinfo_);
    if (!in) return false;
    std::vector<mount_entry> entries;
    for (std::string line; std::getline(in, line);) {
      mount_entry e;
      if (parse_line(line, e)) entries.push_back(e);
    }
    out.clear();
    std::set<std::string> kept_devices;  // "maj:min" of block-backed mounts already kept
    for (const mount_entry& e : entries) {
      // Pseudo file systems are skipped before the mount point is touched (autofs must not fire).
      if (pseudo_types().count(e.fstype)) continue;
      if (over_mounted(e, entries)) continue;
      const drive_type type = classify(e);
      if (type == kDriveNone || type == kDriveRamDisk) continue;
      if (type != kDriveRemote) {
        struct stat st;
        if (stat(e.point.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
      }
      if (e.major != 0) {
        const std::string key = std::to_string(e.major) + ":" + std::to_string(e.minor);
        if (!kept_devices.insert(key).second) continue;  // a bind mount of a kept device
      }
      out.push_back({e.point, type});
    }
    return true;
  }

  bool has_medium(const std::string& root) override {
    struct statvfs sv;
    return statvfs(root.c_str(), &sv) == 0;
  }

 private:
  static bool over_mounted(const mount_entry& e, const std::vector<mount_entry>& all) {
    for (const mount_entry& o : all)
      if (o.point == e.point && o.parent == e.id) return true;
    return false;
  }

  drive_type classify(const mount_entry& e) const {
    if (is_remote(e.fstype)) return kDriveRemote;
    if (e.fstype == "tmpfs" || e.fstype == "ramfs") return kDriveRamDisk;
    if (e.fstype == "iso9660" || e.fstype == "udf") return kDriveCdrom;
    unsigned major = e.major, minor = e.minor;
    if (major == 0 && e.source.rfind("/dev/", 0) == 0) {
      struct stat st;
      if (stat(e.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
        major = ::major(st.st_rdev);
        minor = ::minor(st.st_rdev);
      }
    }
    if (major == 0) {
      // Anonymous file systems count only as the root of a container.
      if (e.point == "/") return kDriveFixed;
      return kDriveNone;
    }
    if (major == 11) return kDriveCdrom;
    const std::string disk = disk_dir(major, minor);
    if (disk.empty()) return kDriveFixed;
    if (disk.find("/virtual/block/zram") != std::string::npos ||
        disk.find("/virtual/block/ram") != std::string::npos)
      return kDriveRamDisk;
    if (read_first_line(disk + "/device/type") == "5") return kDriveCdrom;
    if (read_first_line(disk + "/removable") == "1" || disk.find("/usb") != std::string::npos)
      return kDriveRemovable;
    return kDriveFixed;
  }

  std::string disk_dir(unsigned major, unsigned minor) const {
    const std::string link =
        sys_ + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
    char resolved[PATH_MAX];
    if (!realpath(link.c_str(), resolved)) return "";
    std::string dir = resolved;
    struct stat st;
    if (stat((dir + "/partition").c_str(), &st) == 0) dir = dir.substr(0, dir.rfind('/'));
    return dir;
  }

  std::string mountinfo_, sys_;
};

}  // namespace

drive_source& default_drive_source() {
  static linux_drive_source source("/proc/self/mountinfo", "/sys");
  return source;
}

std::unique_ptr<drive_source> make_drive_source(const std::string& mountinfo,
                                                const std::string& sys_root) {
  return std::make_unique<linux_drive_source>(mountinfo, sys_root);
}

}  // namespace ferrox
