// The processes of the system as /proc shows them: their ids, names, images and owners.
#ifndef QORVEX_SRC_SYSTEM_PROCESS_TABLE_H_
#define QORVEX_SRC_SYSTEM_PROCESS_TABLE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "qorvex/src/system/system_root.h"

namespace qorvex {

// pid_max can be at most 2^22, so this many entries cover every possible process.
inline constexpr size_t kMaxProcesses = 1 << 22;
inline constexpr size_t kMaxCommandLine = 4096;

struct process_info {
  int pid = 0;
  int ppid = 0;
  uint32_t uid = 0;
  bool kernel_thread = false;
  std::string comm;
};

// The ids of the numeric entries of <root>/proc, ascending. Returns 0, or the errno of opening
// the folder (ENOENT when there is no /proc).
int list_processes(const system_root& root, std::vector<int>* pids);

// Reads /proc/PID/stat (parent, kernel-thread flag), comm and the owner of /proc/PID. Returns
// 0 or an errno: ENOENT or ESRCH when the process went away.
int read_process(const system_root& root, int pid, process_info* out);

// "<root>/proc/<pid>/<name>".
std::string proc_path(const system_root& root, int pid, const char* name);

// The target of /proc/PID/exe as the kernel gives it, " (deleted)" included. Empty with *err set
// when it cannot be read (ENOENT also for kernel threads, which have no image).
std::string read_exe_link(const system_root& root, int pid, int* err);

// The command line with its arguments joined by blanks, at most kMaxCommandLine bytes.
std::string read_command_line(const system_root& root, int pid);

// True when stat's flags carry PF_KTHREAD. `stat_text` is the whole content of /proc/PID/stat.
bool stat_says_kernel_thread(const std::string& stat_text, int* ppid);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_PROCESS_TABLE_H_
