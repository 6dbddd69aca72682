#include "qorvex/src/system/process_tools.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/io.h"
#include "qorvex/include/qorvex.h"
#include "qorvex/src/system/memory_reader.h"
#include "qorvex/src/system/private_output.h"
#include "qorvex/src/system/process_scanner.h"
#include "qorvex/src/system/process_table.h"
#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

// Process names and paths come from other users: no line breaks or tabs in a list line.
std::string list_field(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out;
}

// A process name as part of a file name: no separators, no dots that could climb.
std::string file_name_part(std::string_view name) {
  std::string out;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_';
    out += plain ? c : '_';
  }
  return out.empty() ? "process" : out;
}

std::string base_name(std::string_view path) {
  constexpr std::string_view kDeleted = " (deleted)";
  if (path.ends_with(kDeleted)) path.remove_suffix(kDeleted.size());
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

int32_t process_error_result(int err) {
  if (is_denied(err)) return QVX_R_ACCESS;
  if (is_gone(err)) return QVX_R_NOT_FOUND;
  return err == ENOMEM ? QVX_R_NO_MEMORY : QVX_R_FAILED;
}

// Which regions a dump writes, and the kind part of their file names; null for none.
const char* dump_kind(process_tool tool, const memory_region& r, std::string_view image) {
  if (!readable_memory(r)) return nullptr;
  bool is_image = r.file_backed() && r.path == image;
  switch (tool) {
    case process_tool::dump_image:
      return is_image ? "image" : nullptr;
    case process_tool::dump_with_modules:
      return is_image ? "image" : r.file_backed() ? "module" : nullptr;
    case process_tool::dump_heaps:
      return r.heap() ? "heap" : nullptr;
    default:
      return nullptr;
  }
}

// Copies one region into its own file; 0 or an engine result.
int32_t dump_region(int mem_fd, const memory_region& r, const std::string& path,
                    std::vector<char>* buffer, uint64_t* budget) {
  int err = 0;
  int out = open_private_output(path, &err);
  if (out < 0) return output_error_result(err);
  int write_err = 0;
  read_region(mem_fd, r, buffer, [&](uint64_t address, std::string_view data) {
    if (data.size() > *budget) data = data.substr(0, size_t(*budget));
    // Pages that could not be read stay holes in the file, so offsets keep matching addresses.
    ssize_t n = pwrite(out, data.data(), data.size(), off_t(address - r.lo));
    if (n < 0 || size_t(n) != data.size()) write_err = n < 0 ? errno : ENOSPC;
    *budget -= data.size();
    return write_err == 0 && *budget > 0;
  });
  if (close(out) != 0 && write_err == 0) write_err = errno;
  return write_err == 0 ? QVX_R_SUCCESS : QVX_R_FAILED;
}

int32_t dump_process(const system_root& root, int pid, process_tool tool,
                     const std::string& folder) {
  int mem_fd = open(proc_path(root, pid, "mem").c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (mem_fd < 0) return process_error_result(errno);
  std::vector<memory_region> regions;
  int err = read_memory_map(proc_path(root, pid, "smaps"), proc_path(root, pid, "maps"), &regions);
  process_info info;
  if (err == 0) err = read_process(root, pid, &info);
  int link_err = 0;
  std::string image(root.strip(read_exe_link(root, pid, &link_err)));
  std::string prefix = folder + "/" + std::to_string(pid) + "_" + file_name_part(info.comm) + "_";
  std::vector<char> buffer;
  uint64_t budget = kMaxDumpBytes;
  int32_t result = err == 0 ? QVX_R_SUCCESS : process_error_result(err);
  for (const memory_region& r : regions) {
    const char* kind = dump_kind(tool, r, image);
    if (kind == nullptr) continue;
    result = dump_region(mem_fd, r, prefix + kind + "_" + r.range + ".bin", &buffer, &budget);
    if (result != QVX_R_SUCCESS || budget == 0) break;
  }
  close(mem_fd);
  return result;
}

int32_t scan_process(process_scanner& scanner, int pid, process_tool tool) {
  if (tool == process_tool::scan_heaps) {
    int err = scanner.scan_memory(pid, true);
    return err == 0 ? QVX_R_SUCCESS : process_error_result(err);
  }
  int files_err = scanner.scan_files(pid);
  int memory_err = scanner.scan_memory(pid, false);
  if (files_err == 0 || memory_err == 0) return QVX_R_SUCCESS;
  return process_error_result(is_denied(files_err) ? files_err : memory_err);
}

}  // namespace

int32_t dump_process_list(const system_root& root, const std::string& folder) {
  std::vector<int> pids;
  int err = list_processes(root, &pids);
  if (err != 0) return is_denied(err) ? QVX_R_ACCESS : QVX_R_NOT_SUPPORTED;
  int fd = open_private_output(folder + "/" + kProcessListName, &err);
  if (fd < 0) return output_error_result(err);
  std::string text = "PID\tPPID\tUID\tNAME\tEXE\tCMDLINE\n";
  for (int pid : pids) {
    process_info info;
    if (read_process(root, pid, &info) != 0) continue;  // gone, or not ours to see
    int link_err = 0;
    std::string exe = read_exe_link(root, pid, &link_err);
    text += std::to_string(pid) + "\t" + std::to_string(info.ppid) + "\t" +
            std::to_string(info.uid) + "\t" + list_field(info.comm) + "\t" + list_field(exe) +
            "\t" + list_field(read_command_line(root, pid)) + "\n";
    if (text.size() >= (64 << 10)) {
      if (!common::write_all(fd, text.data(), text.size())) {
        err = errno;
        break;
      }
      text.clear();
    }
  }
  if (err == 0 && !common::write_all(fd, text.data(), text.size())) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  return err == 0 ? QVX_R_SUCCESS : QVX_R_FAILED;
}

std::vector<int> select_processes(const system_root& root, std::string_view value, int* err) {
  std::vector<int> selected;
  *err = 0;
  if (value.empty() || value.size() > kMaxToolValue) return selected;
  const int self = getpid();
  uint64_t wanted = 0;
  bool by_id = parse_unsigned(value, 10, &wanted);
  if (by_id && (wanted == 0 || wanted > uint64_t(INT32_MAX))) return selected;
  std::vector<int> pids;
  if (by_id) {
    pids.push_back(int(wanted));
  } else if ((*err = list_processes(root, &pids)) != 0) {
    return selected;
  }
  for (int pid : pids) {
    process_info info;
    if (pid == self || read_process(root, pid, &info) != 0 || info.kernel_thread) continue;
    int link_err = 0;
    if (by_id || info.comm == value || base_name(read_exe_link(root, pid, &link_err)) == value) {
      selected.push_back(pid);
    }
  }
  return selected;
}

int32_t run_process_tool(engine_object& object, const system_root& root, process_tool tool,
                         std::string_view value, const std::string& folder) {
  int err = 0;
  std::vector<int> pids = select_processes(root, value, &err);
  if (err != 0) return is_denied(err) ? QVX_R_ACCESS : QVX_R_NOT_SUPPORTED;
  bool scans = tool == process_tool::scan || tool == process_tool::scan_heaps;
  process_scanner scanner(object, root);
  bool worked = false, denied = false;
  for (int pid : pids) {
    int32_t r = scans ? scan_process(scanner, pid, tool) : dump_process(root, pid, tool, folder);
    if (r == QVX_R_SUCCESS) {
      worked = true;
    } else if (r == QVX_R_ACCESS) {
      denied = true;
    } else if (r != QVX_R_NOT_FOUND) {
      return r;  // a full disk or a failed write ends the tool
    }
  }
  if (worked) return QVX_R_SUCCESS;
  return denied ? QVX_R_ACCESS : QVX_R_NOT_FOUND;
}

}  // namespace qorvex
