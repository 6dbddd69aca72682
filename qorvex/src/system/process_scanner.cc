#include "qorvex/src/system/process_scanner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "qorvex/src/engine_object.h"
#include "qorvex/src/file_action.h"
#include "qorvex/src/folder_walk.h"
#include "qorvex/src/system/memory_reader.h"
#include "qorvex/src/system/process_table.h"
#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

// Closes a descriptor when it goes out of scope.
struct fd_closer {
  int fd;
  ~fd_closer() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

process_scanner::process_scanner(engine_object& object, const system_root& root)
    : object_(object), root_(root), context_(object.defs().get()), chunks_(context_) {}

int process_scanner::scan_path(const std::string& open_path, const std::string& name) {
  file_handle file;
  file.fd = open(open_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (file.fd < 0) return errno;
  if (fstat(file.fd, &file.st) != 0 || !S_ISREG(file.st.st_mode)) return 0;
  if (seen_.size() >= kMaxScannedFiles) return 0;
  if (!seen_.insert({file.st.st_dev, file.st.st_ino}).second) return 0;
  // The file may have been opened through /proc (the image link, map_files): an action works on
  // the entry the name gives, and only while that entry is still the very file that was read. A
  // deleted file (" (deleted)") has no such entry, so acting on it fails.
  size_t slash = name.find_last_of('/');
  if (slash != std::string::npos && slash + 1 < name.size()) {
    std::string folder = slash == 0 ? "/" : name.substr(0, slash);
    int dir_fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd >= 0) file.dir = std::make_shared<dir_handle>(dir_fd);
    file.name = name.substr(slash + 1);
  }
  file_scan_result scanned;
  scan_open_file(context_, file.fd, uint64_t(file.st.st_size),
                 slash == std::string::npos ? name : name.substr(slash + 1), object_.scan_options(),
                 &scanned);
  object_.report_file(name, scanned, &file);
  return 0;
}

int process_scanner::scan_files(int pid) {
  int link_err = 0;
  std::string image = read_exe_link(root_, pid, &link_err);
  int image_err = link_err != 0 ? link_err : scan_path(proc_path(root_, pid, "exe"), image);
  std::string maps;
  int maps_err = read_small_file(proc_path(root_, pid, "maps"), kMaxMapsBytes, &maps);
  if (maps_err == 0) {
    for (const memory_region& r : parse_maps(maps)) {
      if (!r.executable || !r.file_backed()) continue;
      // A deleted file is gone from its folder but still reachable through map_files (which
      // needs privileges); the name keeps " (deleted)" to say so.
      std::string from =
          r.deleted() ? proc_path(root_, pid, "map_files/") + r.range : root_.path(r.path);
      scan_path(from, root_.path(r.path));
    }
  }
  if (image_err == 0 || maps_err == 0) return 0;
  return is_denied(image_err) ? image_err : maps_err;
}

int process_scanner::scan_memory(int pid, bool heaps_only) {
  std::string mem_path = proc_path(root_, pid, "mem");
  int fd = open(mem_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return errno;
  fd_closer closer{fd};
  std::vector<memory_region> regions;
  int err =
      read_memory_map(proc_path(root_, pid, "smaps"), proc_path(root_, pid, "maps"), &regions);
  if (err != 0) return err;
  bool reported = false;
  uint64_t bytes = 0;
  for (const memory_region& r : regions) {
    if (!scannable_memory(r) || (heaps_only && !r.heap())) continue;
    chunks_.begin();
    bytes += read_region(fd, r, &buffer_, [&](uint64_t address, std::string_view data) {
      chunks_.feed(address - r.lo, data);
      return true;
    });
    const raw_result& result = chunks_.finish();
    if (result.entries.empty()) continue;
    std::string label = r.path.empty() ? "[anon]" : r.path;
    object_.report_object(mem_path, ">" + label + " " + r.range, result);
    reported = true;
  }
  if (!reported) {
    raw_result clean;
    clean.bytes = bytes;
    object_.report_object(mem_path, std::string(), clean);
  }
  return 0;
}

int32_t scan_all_processes(engine_object& object, const system_root& root, bool advanced) {
  std::vector<int> pids;
  int err = list_processes(root, &pids);
  if (err != 0) return is_denied(err) ? QVX_R_ACCESS : QVX_R_NOT_SUPPORTED;
  process_scanner scanner(object, root);
  // Our own memory holds the signatures themselves, which would match.
  const int self = getpid();
  size_t scanned = 0, denied = 0;
  for (int pid : pids) {
    if (pid == self) continue;
    process_info info;
    err = read_process(root, pid, &info);
    if (err == 0 && info.kernel_thread) continue;
    if (err == 0) err = advanced ? scanner.scan_memory(pid, false) : scanner.scan_files(pid);
    if (err == 0) {
      ++scanned;
    } else if (is_denied(err)) {
      ++denied;
    }
  }
  return scanned == 0 && denied > 0 ? QVX_R_ACCESS : QVX_R_SUCCESS;
}

}  // namespace qorvex
