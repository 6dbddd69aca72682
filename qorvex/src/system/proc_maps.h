// The memory map of a process as /proc/PID/maps gives it.
#ifndef QORVEX_SRC_SYSTEM_PROC_MAPS_H_
#define QORVEX_SRC_SYSTEM_PROC_MAPS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorvex {

// A process may hold up to vm.max_map_count (65530 by default) mappings; a map text larger than
// these limits is cut, never grown without bound.
inline constexpr size_t kMaxRegions = 1 << 17;
inline constexpr size_t kMaxMapsBytes = 64 << 20;

struct memory_region {
  uint64_t lo = 0, hi = 0;
  bool readable = false, writable = false, executable = false, shared = false;
  uint64_t offset = 0;
  uint64_t inode = 0;
  std::string range;  // "lo-hi" as the kernel wrote it, the name of the map_files entry
  std::string path;   // the mapped file, a pseudo-path such as "[heap]", or empty
  // smaps only: a userfaultfd watches missing or minor faults here. Reading such pages waits for
  // the watching process to supply them, which a hostile process may never do.
  bool userfault = false;

  bool file_backed() const { return inode != 0 && !path.empty() && path.front() == '/'; }
  bool deleted() const;
  // Anonymous memory: no path, "[heap]", "[stack]", "[stack:tid]" or "[anon:...]".
  bool anonymous() const;
  // The memory that the heap tools look at: "[heap]" and the private anonymous read-write
  // mappings that are no stack, where allocators keep their arenas and large blocks.
  bool heap() const;
};

// Parses the text of a maps or smaps file (whose "VmFlags:" lines set `userfault`); other and
// malformed lines are skipped. At most kMaxRegions regions.
std::vector<memory_region> parse_maps(std::string_view text);

// A parsed line, or false when it is malformed.
bool parse_maps_line(std::string_view line, memory_region* out);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_PROC_MAPS_H_
