// Reading the memory of another process through /proc/PID/mem, region by region, in bounded
// chunks. The target is never stopped: a page that changes while it is read is read torn.
#ifndef QORVEX_SRC_SYSTEM_MEMORY_READER_H_
#define QORVEX_SRC_SYSTEM_MEMORY_READER_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/system/proc_maps.h"

namespace qorvex {

inline constexpr size_t kMemoryChunk = 1 << 20;
// A region larger than this is read only up to it: one huge mapping must not stall the scan.
inline constexpr uint64_t kMaxRegionBytes = 256ull << 20;

// Gets the bytes read at an address; false stops the region.
using memory_sink = std::function<bool(uint64_t address, std::string_view bytes)>;

// Reads the region from the open mem file, at most kMaxRegionBytes from its start, chunk by
// chunk into `buffer`. A page that cannot be read (EIO) is stepped over; end of data, ESRCH
// (the process ended) and EINVAL end the region. Returns the bytes handed to the sink.
uint64_t read_region(int mem_fd, const memory_region& region, std::vector<char>* buffer,
                     const memory_sink& sink);

// Whether the advanced scan reads the region: readable anonymous memory, never the kernel's
// [vvar], [vvar_vclock], [vdso] or [vsyscall] pages, nor pages a userfaultfd supplies.
bool scannable_memory(const memory_region& region);

// Whether a region can be read without waiting on the process: readable and not watched by a
// userfaultfd.
bool readable_memory(const memory_region& region);

// The regions of a process with their userfaultfd marks: /proc/PID/smaps, or maps where the
// kernel has no smaps. Returns 0 or the errno of reading it.
int read_memory_map(const std::string& smaps_path, const std::string& maps_path,
                    std::vector<memory_region>* regions);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_MEMORY_READER_H_
