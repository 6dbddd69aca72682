#include "qorvex/src/system/disk_list.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

std::string real_path(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string out(resolved);
  free(resolved);
  return out;
}

// DEVNAME from a uevent file, else the sysfs name; a name that could leave /dev is refused.
std::string device_node(const system_root& root, const std::string& sys_dir,
                        const std::string& name) {
  std::string text, dev_name = name;
  if (read_small_file(sys_dir + "/uevent", 16384, &text) == 0) {
    for (std::string_view line : split_lines(text)) {
      if (line.starts_with("DEVNAME=")) dev_name = std::string(trim(line.substr(8)));
    }
  }
  if (dev_name.empty() || dev_name.find("..") != std::string::npos) return std::string();
  return root.path("/dev/" + dev_name);
}

uint64_t read_number(const std::string& path) {
  uint64_t value = 0;
  return parse_unsigned(read_first_line(path), 10, &value) ? value : 0;
}

bool is_virtual(const system_root& root, const std::string& sys_dir) {
  std::string resolved = real_path(sys_dir);
  std::string root_resolved = root.is_real() ? std::string() : real_path(root.prefix());
  std::string_view rest(resolved);
  if (!root_resolved.empty() && rest.starts_with(root_resolved))
    rest.remove_prefix(root_resolved.size());
  return resolved.empty() || rest.find("/devices/virtual/") != std::string_view::npos;
}

void list_partitions(const system_root& root, const std::string& sys_dir, disk_info* disk) {
  std::vector<std::string> names;
  if (list_folder(sys_dir, 65536, &names) != 0) return;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (disk->partitions.size() >= kMaxPartitions) break;
    std::string part_dir = sys_dir + "/" + name;
    if (read_first_line(part_dir + "/partition").empty()) continue;
    uint64_t start = 0;
    if (!parse_unsigned(read_first_line(part_dir + "/start"), 10, &start)) continue;
    std::string node = device_node(root, part_dir, name);
    if (!node.empty()) disk->partitions.push_back({node, start});
  }
}

}  // namespace

int list_disks(const system_root& root, std::vector<disk_info>* disks) {
  disks->clear();
  std::vector<std::string> names;
  int err = list_folder(root.path("/sys/block"), kMaxDisks, &names);
  if (err != 0) return err;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string sys_dir = root.path("/sys/block/" + name);
    if (is_virtual(root, sys_dir) || name.starts_with("sr")) continue;
    if (read_first_line(sys_dir + "/device/type") == "5") continue;  // optical
    disk_info disk;
    disk.name = name;
    disk.sectors = read_number(sys_dir + "/size");
    disk.node = device_node(root, sys_dir, name);
    if (disk.sectors == 0 || disk.node.empty()) continue;
    uint64_t block = read_number(sys_dir + "/queue/logical_block_size");
    // Anything but a power of two from 512 to 64 KiB is not a sector size.
    if (block >= 512 && block <= 65536 && (block & (block - 1)) == 0) {
      disk.sector_size = uint32_t(block);
    }
    list_partitions(root, sys_dir, &disk);
    disks->push_back(std::move(disk));
  }
  return 0;
}

}  // namespace qorvex
