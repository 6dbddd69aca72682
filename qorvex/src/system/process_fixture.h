// The fake processes that the memory and process tool tests share.
#ifndef QORVEX_SRC_SYSTEM_PROCESS_FIXTURE_H_
#define QORVEX_SRC_SYSTEM_PROCESS_FIXTURE_H_

#include <unistd.h>

#include <string>

#include "qorvex/src/system/system_testing.h"

namespace qorvex {

// Process 100 "evil" runs /usr/bin/evil (holding the marker), maps /usr/lib/libevil.so
// executable (holding it too) and holds the marker in its heap, an anonymous region (across a
// page boundary) and its stack; the same bytes in [vvar], in a region it cannot read and in a
// file-backed region are not memory the scans read. Process 101 "twin" runs the same file and
// maps a deleted library that holds the marker. Process 2 is a kernel thread, and this
// process's own entry maps another marked file: neither is ever scanned.
inline void add_fake_processes(fake_system& sys) {
  std::string marker = virus_marker();
  sys.file("/usr/bin/evil", "ELF " + marker);
  sys.file("/usr/lib/libevil.so", "lib " + marker);
  sys.file("/usr/bin/self", "self " + marker);
  sys.file("/usr/share/data", "data");
  sys.process(100, "evil", "/usr/bin/evil",
              "00400000-00401000 r-xp 00000000 08:01 11 /usr/bin/evil\n"
              "00600000-00601000 rw-p 00000000 00:00 0 [heap]\n"
              "00700000-00701000 r-xp 00000000 08:01 12 /usr/lib/libevil.so\n"
              "00800000-00802000 rw-p 00000000 00:00 0\n"
              "00900000-00901000 r--p 00000000 08:01 13 /usr/share/data\n"
              "00a00000-00a01000 ---p 00000000 00:00 0\n"
              "00b00000-00b01000 r--p 00000000 00:00 0 [vvar]\n"
              "00c00000-00c01000 rw-p 00000000 00:00 0 [stack]\n",
              {{0x400000, "IMAGE"},
               {0x600000 + 100, marker},
               {0x800000 + 4090, marker},
               {0x900000, marker},
               {0xa00000, marker},
               {0xb00000, marker},
               {0xc00000 + 8, marker}});
  sys.process(101, "twin", "/usr/bin/evil",
              "00400000-00401000 r-xp 00000000 08:01 11 /usr/bin/evil\n"
              "00500000-00501000 r-xp 00000000 08:01 14 /usr/lib/libgone.so (deleted)\n");
  sys.file("/proc/101/map_files/00500000-00501000", "gone " + marker);
  sys.process(2, "kthreadd", "", "", {}, true);
  int self = getpid();
  sys.process(self, "self", "/usr/bin/self",
              "00400000-00401000 r-xp 00000000 08:01 15 /usr/bin/self\n"
              "00600000-00601000 rw-p 00000000 00:00 0 [heap]\n",
              {{0x600000, marker}});
}

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_PROCESS_FIXTURE_H_
