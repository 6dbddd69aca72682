#include "qorvex/src/system/private_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "qorvex/include/qorvex.h"

namespace qorvex {

std::string temp_folder() {
  const char* value = std::getenv("TMPDIR");
  struct stat st;
  if (value != nullptr && value[0] == '/' && stat(value, &st) == 0 && S_ISDIR(st.st_mode)) {
    return value;
  }
  return "/tmp";
}

int open_private_output(const std::string& path, int* err) {
  // O_NONBLOCK: a FIFO planted under the name fails with ENXIO instead of waiting for a reader.
  int fd =
      open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
  if (fd < 0) {
    *err = errno == ELOOP || errno == ENXIO ? EACCES : errno;
    return -1;
  }
  struct stat st;
  bool ours =
      fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_nlink == 1;
  // Emptied only once it is known to be ours, so a planted hard link is never truncated.
  if (!ours || ((st.st_mode & 07777) != 0600 && fchmod(fd, 0600) != 0) || ftruncate(fd, 0) != 0) {
    *err = ours ? errno : EACCES;
    close(fd);
    return -1;
  }
  int flags = fcntl(fd, F_GETFL);
  if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  *err = 0;
  return fd;
}

int output_error_result(int err) {
  return err == ENOSPC || err == EDQUOT || err == EFBIG ? QVX_R_FAILED : QVX_R_ACCESS;
}

}  // namespace qorvex
