#include "qorvex/src/system/memory_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "common/platform/eintr.h"
#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

uint64_t page_size() {
  static const uint64_t size = [] {
    long n = sysconf(_SC_PAGESIZE);
    return n > 0 ? uint64_t(n) : uint64_t(4096);
  }();
  return size;
}

}  // namespace

bool readable_memory(const memory_region& r) { return r.readable && !r.userfault; }

int read_memory_map(const std::string& smaps_path, const std::string& maps_path,
                    std::vector<memory_region>* regions) {
  std::string text;
  int err = read_small_file(smaps_path, kMaxMapsBytes, &text);
  if (err == ENOENT) err = read_small_file(maps_path, kMaxMapsBytes, &text);
  *regions = err == 0 ? parse_maps(text) : std::vector<memory_region>();
  return err;
}

bool scannable_memory(const memory_region& r) {
  if (!readable_memory(r) || !r.anonymous()) return false;
  return r.path != "[vvar]" && r.path != "[vvar_vclock]" && r.path != "[vdso]" &&
         r.path != "[vsyscall]";
}

uint64_t read_region(int mem_fd, const memory_region& region, std::vector<char>* buffer,
                     const memory_sink& sink) {
  // Offsets of pread are signed: an address above the largest off_t cannot be read.
  if (region.lo > uint64_t(INT64_MAX)) return 0;
  uint64_t end = std::min(region.hi, region.lo + kMaxRegionBytes);
  end = std::min<uint64_t>(end, uint64_t(INT64_MAX));
  if (buffer->size() < kMemoryChunk) buffer->resize(kMemoryChunk);
  uint64_t pos = region.lo, total = 0;
  while (pos < end) {
    size_t want = size_t(std::min<uint64_t>(end - pos, kMemoryChunk));
    ssize_t n =
        common::retry_eintr([&] { return pread(mem_fd, buffer->data(), want, off_t(pos)); });
    if (n < 0 && errno == EIO) {
      // An unbacked or guarded page: go on after it.
      pos = (pos / page_size() + 1) * page_size();
      continue;
    }
    if (n <= 0) break;
    total += uint64_t(n);
    if (!sink(pos, std::string_view(buffer->data(), size_t(n)))) break;
    pos += uint64_t(n);
  }
  return total;
}

}  // namespace qorvex
