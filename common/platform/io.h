// Whole writes and exact reads on file descriptors, past interruptions and short transfers.
#ifndef COMMON_PLATFORM_IO_H_
#define COMMON_PLATFORM_IO_H_

#include <cstddef>
#include <cstdint>

namespace common {

// Writes all `n` bytes at `data`. False with errno set when a write fails, EIO when one takes no
// bytes at all (the file cannot grow).
bool write_all(int fd, const void* data, size_t n);

// Reads exactly `n` bytes at `offset` into `buffer`. False with errno set when a read fails, EIO
// when the file ends first.
bool pread_exact(int fd, void* buffer, size_t n, uint64_t offset);

}  // namespace common

#endif  // COMMON_PLATFORM_IO_H_
