#include <unistd.h>

#include <cerrno>

#include "common/platform/eintr.h"
#include "common/platform/io.h"

namespace common {

bool write_all(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t w = retry_eintr([&] { return ::write(fd, p, n); });
    if (w < 0) return false;
    if (w == 0) {
      errno = EIO;
      return false;
    }
    p += w;
    n -= size_t(w);
  }
  return true;
}

bool pread_exact(int fd, void* buffer, size_t n, uint64_t offset) {
  char* p = static_cast<char*>(buffer);
  for (size_t done = 0; done < n;) {
    ssize_t r = retry_eintr([&] { return ::pread(fd, p + done, n - done, off_t(offset + done)); });
    if (r < 0) return false;
    if (r == 0) {
      errno = EIO;
      return false;
    }
    done += size_t(r);
  }
  return true;
}

}  // namespace common
