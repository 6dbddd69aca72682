#include "qorvex/src/system/process_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {
constexpr uint64_t kPfKthread = 0x00200000;
}  // namespace

std::string proc_path(const system_root& root, int pid, const char* name) {
  return root.path("/proc/" + std::to_string(pid) + "/" + name);
}

int list_processes(const system_root& root, std::vector<int>* pids) {
  pids->clear();
  std::vector<std::string> names;
  int err = list_folder(root.path("/proc"), kMaxProcesses * 2, &names);
  if (err != 0) return err;
  for (const std::string& name : names) {
    uint64_t pid = 0;
    if (parse_unsigned(name, 10, &pid) && pid > 0 && pid <= INT32_MAX &&
        pids->size() < kMaxProcesses) {
      pids->push_back(int(pid));
    }
  }
  std::sort(pids->begin(), pids->end());
  return 0;
}

bool stat_says_kernel_thread(const std::string& stat_text, int* ppid) {
  // The name in parentheses may hold anything, ')' included: the fields start after the last one.
  size_t close = stat_text.rfind(')');
  if (close == std::string::npos) return false;
  std::vector<std::string_view> fields = split_words(std::string_view(stat_text).substr(close + 1));
  // fields[0] is the state, [1] the parent, [6] the flags.
  uint64_t parent = 0, flags = 0;
  if (fields.size() > 1 && parse_unsigned(fields[1], 10, &parent) && ppid != nullptr) {
    *ppid = int(parent);
  }
  return fields.size() > 6 && parse_unsigned(fields[6], 10, &flags) && (flags & kPfKthread) != 0;
}

int read_process(const system_root& root, int pid, process_info* out) {
  *out = process_info();
  out->pid = pid;
  struct stat st;
  if (stat(proc_path(root, pid, "").c_str(), &st) != 0) return errno;
  out->uid = st.st_uid;
  std::string text;
  int err = read_small_file(proc_path(root, pid, "stat"), 4096, &text);
  if (err != 0) return err;
  out->kernel_thread = stat_says_kernel_thread(text, &out->ppid);
  out->comm = read_first_line(proc_path(root, pid, "comm"));
  return 0;
}

std::string read_exe_link(const system_root& root, int pid, int* err) {
  std::string link = proc_path(root, pid, "exe");
  std::string target(4096, '\0');
  ssize_t n = readlink(link.c_str(), target.data(), target.size());
  if (n < 0) {
    *err = errno;
    return std::string();
  }
  *err = 0;
  target.resize(size_t(n));
  return target;
}

std::string read_command_line(const system_root& root, int pid) {
  std::string text;
  read_small_file(proc_path(root, pid, "cmdline"), kMaxCommandLine, &text);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  std::replace(text.begin(), text.end(), '\0', ' ');
  return text;
}

}  // namespace qorvex
