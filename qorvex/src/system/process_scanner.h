// Scanning what runs: the files that processes execute and the memory they hold. One scanner
// serves one command on one engine object, on the calling thread; events are raised through
// the object.
#ifndef QORVEX_SRC_SYSTEM_PROCESS_SCANNER_H_
#define QORVEX_SRC_SYSTEM_PROCESS_SCANNER_H_

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qorvex/src/scan_context.h"
#include "qorvex/src/system/chunk_scanner.h"
#include "qorvex/src/system/system_root.h"

namespace qorvex {

class engine_object;

// Distinct files one basic scan looks at; more are left unscanned.
inline constexpr size_t kMaxScannedFiles = 1 << 20;

class process_scanner {
 public:
  process_scanner(engine_object& object, const system_root& root);

  // The process's image (/proc/PID/exe, which reads the running file even after it was deleted)
  // and every file it maps executable, each file once in the life of the scanner. Each is
  // reported as a file (counted, event 512 code 6 when detected, then the object's action on
  // the entry of its name). Returns 0 when something could be read, else the errno that stopped
  // it (EACCES, ENOENT, ...).
  int scan_files(int pid);

  // The readable anonymous memory of the process (or only its heaps), region by region. A
  // region holding a match is reported as "<root>/proc/PID/mem" with the inner name
  // ">[heap] lo-hi"; a process without one is reported once, clean. Returns 0 or the errno of
  // opening the memory or the map (EACCES, ENOENT, ...).
  int scan_memory(int pid, bool heaps_only);

 private:
  // Opens a path and, unless that file was seen, scans and reports it as the file `name`; 0 or
  // the errno of the open.
  int scan_path(const std::string& open_path, const std::string& name);

  engine_object& object_;
  system_root root_;
  scan_context context_;
  chunk_scanner chunks_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  std::vector<char> buffer_;
};

// The whole-system memory scans of command 7: every process but this one and the kernel's
// threads, basic (files) or advanced (memory). Processes that deny access or go away are
// skipped. Returns 0, -3 when every other process denied access, 4 without /proc.
int32_t scan_all_processes(engine_object& object, const system_root& root, bool advanced);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_PROCESS_SCANNER_H_
