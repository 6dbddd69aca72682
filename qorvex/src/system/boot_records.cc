#include "qorvex/src/system/boot_records.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/platform/io.h"
#include "qorvex/src/engine_object.h"
#include "qorvex/src/system/disk_list.h"
#include "qorvex/src/system/gpt.h"
#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

// Reads exactly n bytes at offset into *out; false (with *err) on a short read or an error.
bool read_exact(int fd, uint64_t offset, size_t n, std::string* out, int* err) {
  out->assign(n, '\0');
  if (common::pread_exact(fd, out->data(), n, offset)) return true;
  *err = errno;
  return false;
}

class boot_reader {
 public:
  explicit boot_reader(engine_object& object) : object_(object), context_(object.defs().get()) {}

  void report(const std::string& name, const char* inner, std::string_view bytes) {
    raw_result result;
    context_.scan_bytes(bytes, &result);
    object_.report_object(name, inner, result);
  }

  void scan_gpt(int fd, const disk_info& disk, std::string_view header_sector) {
    if (!has_gpt_signature(header_sector)) return;  // no table here: nothing to scan
    report(disk.node, ">GPT header", header_sector);
    gpt_header header;
    uint64_t lbs = disk.sector_size;
    bool valid = parse_gpt_header(header_sector, &header);
    uint64_t disk_lbas = disk.sectors / (lbs / 512);
    // sysfs gives the size; a fake root's may be any number, whose last sector has no offset.
    if (!valid && disk_lbas > 2 && disk_lbas <= UINT64_MAX / lbs) {
      // A damaged primary header: the backup in the disk's last sector describes the same table.
      uint64_t last = disk_lbas - 1;
      std::string backup;
      int err = 0;
      valid = read_exact(fd, last * lbs, size_t(lbs), &backup, &err) &&
              parse_gpt_header(backup, &header);
    }
    uint64_t bytes = valid ? gpt_entry_bytes(header) : 0;
    std::string entries;
    int err = 0;
    if (bytes == 0 || header.entries_lba > UINT64_MAX / lbs ||
        !read_exact(fd, header.entries_lba * lbs, size_t(bytes), &entries, &err)) {
      return;
    }
    report(disk.node, ">GPT entries", entries);
  }

  void scan_boot_sectors(int fd, const disk_info& disk) {
    for (const partition_info& part : disk.partitions) {
      std::string sector;
      int err = 0;
      // sysfs gives partition starts in 512-byte units whatever the sector size.
      if (part.start > UINT64_MAX / 512 ||
          !read_exact(fd, part.start * 512, disk.sector_size, &sector, &err)) {
        continue;
      }
      report(part.node, ">boot sector", sector);
    }
  }

  // Opens and reads one disk; 0 when it could be read, else the errno that stopped it.
  int scan_disk(const disk_info& disk, boot_area area) {
    int fd = open(disk.node.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno;
    struct stat st;
    // A disk is a block device; a plain file stands for one under a test root.
    if (fstat(fd, &st) != 0 || !(S_ISBLK(st.st_mode) || S_ISREG(st.st_mode))) {
      close(fd);
      return ENXIO;
    }
    std::string head;
    int err = 0;
    if (!read_exact(fd, 0, 2 * size_t(disk.sector_size), &head, &err)) {
      close(fd);
      return err;
    }
    std::string_view sectors(head);
    switch (area) {
      case boot_area::mbr:
        report(disk.node, ">MBR", sectors.substr(0, disk.sector_size));
        break;
      case boot_area::gpt:
        scan_gpt(fd, disk, sectors.substr(disk.sector_size));
        break;
      case boot_area::boot_sectors:
        scan_boot_sectors(fd, disk);
        break;
    }
    close(fd);
    return 0;
  }

 private:
  engine_object& object_;
  scan_context context_;
};

}  // namespace

int32_t scan_boot_area(engine_object& object, const system_root& root, boot_area area) {
  std::vector<disk_info> disks;
  int err = list_disks(root, &disks);
  if (err != 0) return is_denied(err) ? QVX_R_ACCESS : QVX_R_NOT_SUPPORTED;
  boot_reader reader(object);
  bool read_one = false, denied = false;
  for (const disk_info& disk : disks) {
    err = reader.scan_disk(disk, area);
    read_one = read_one || err == 0;
    denied = denied || is_denied(err);
  }
  if (read_one) return QVX_R_SUCCESS;
  return denied ? QVX_R_ACCESS : QVX_R_NOT_SUPPORTED;
}

}  // namespace qorvex
