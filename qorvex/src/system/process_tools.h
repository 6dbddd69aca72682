// The process tools of command 7: the process list and, for the processes a value names, a scan
// of their memory or heaps and dumps of their memory images.
#ifndef QORVEX_SRC_SYSTEM_PROCESS_TOOLS_H_
#define QORVEX_SRC_SYSTEM_PROCESS_TOOLS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/system/system_root.h"

namespace qorvex {

class engine_object;

inline constexpr const char* kProcessListName = "auth_log.txt";
// All the dump files of one process together stop growing at this size.
inline constexpr uint64_t kMaxDumpBytes = 4ull << 30;
inline constexpr size_t kMaxToolValue = 4096;

enum class process_tool {
  scan,               // --scanProcess: image, mapped files and readable anonymous memory
  dump_with_modules,  // --dumpProcessAndModulesMemImage: every file-backed region
  dump_image,         // --dumpProcessOnlyMemImage: the regions of the executable file
  scan_heaps,         // --scanProcessHeaps
  dump_heaps,         // --dumpProcessHeaps
};

// Writes the process list, one tab-separated line per process (PID, PPID, UID, NAME, EXE,
// CMDLINE, after a header line), to <folder>/auth_log.txt, mode 0600. Returns 0, 4 without
// /proc, -3 when the file is refused or cannot be made, -1 when writing it fails.
int32_t dump_process_list(const system_root& root, const std::string& folder);

// The processes a tool value names: a decimal value is a process id, anything else is matched
// against each process's name and image file name, selecting every match. This process and
// the kernel's threads are never selected. *err is set when /proc cannot be listed.
std::vector<int> select_processes(const system_root& root, std::string_view value, int* err);

// Runs a tool on every process the value names. Dumps are written to `folder` as
// "<pid>_<name>_<kind>_<lo>-<hi>.bin", mode 0600. Returns 0 when the tool worked on one of
// them, -8 when the value names no process, -3 when every one denied access or a dump file was
// refused, -1 when writing a dump failed.
int32_t run_process_tool(engine_object& object, const system_root& root, process_tool tool,
                         std::string_view value, const std::string& folder);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_PROCESS_TOOLS_H_
