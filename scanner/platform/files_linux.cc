#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/platform/eintr.h"
#include "common/platform/io.h"
#include "scanner/platform/files.h"

namespace ferrox {
namespace {

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool copy_bytes(int in, int out) {
  std::vector<char> buf(1 << 16);
  for (;;) {
    ssize_t n = common::retry_eintr([&] { return read(in, buf.data(), buf.size()); });
    if (n < 0) return false;
    if (n == 0) return true;
    if (!common::write_all(out, buf.data(), static_cast<std::size_t>(n))) return false;
  }
}

// Copies the open regular file `in` (described by `st`) into the open file `out`.
bool fill_copy(int in, const struct stat& st, int out) {
  if (!copy_bytes(in, out)) return false;
  if (fchmod(out, st.st_mode & 0777) != 0) return false;
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (futimens(out, times) != 0) return false;
  return fsync(out) == 0;
}

class linux_file_system : public file_system {
 public:
  bool exists(const std::string& path) override {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
  }

  bool is_directory(const std::string& path) override {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    if (S_ISDIR(st.st_mode)) return true;
    return S_ISLNK(st.st_mode) && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool copy_replace(const std::string& from, const std::string& to) override {
    // A copy of a detected object reached through a link is a copy of the file the link names.
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused as not regular below.
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0) return false;
    struct stat st, dst;
    bool ok = fstat(in, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && stat(to.c_str(), &dst) == 0)
      ok = !S_ISDIR(dst.st_mode) && !(dst.st_dev == st.st_dev && dst.st_ino == st.st_ino);
    std::string tmp = folder_of(to) + "/.copy.XXXXXX";
    int out = ok ? mkostemp(tmp.data(), O_CLOEXEC) : -1;
    if (out < 0) {
      close(in);
      return false;
    }
    ok = fill_copy(in, st, out);
    ok = close(out) == 0 && ok;
    close(in);
    if (ok) ok = rename(tmp.c_str(), to.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok;
  }

  bool move_noreplace(const std::string& from, const std::string& to) override {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno == EINVAL || errno == ENOSYS) {
      if (link(from.c_str(), to.c_str()) != 0) return false;
      if (unlink(from.c_str()) == 0) return true;
      unlink(to.c_str());
      return false;
    }
    if (errno != EXDEV) return false;
    return copy_across(from, to);
  }

 private:
  static bool copy_across(const std::string& from, const std::string& to) {
    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return false;
    struct stat st;
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
      close(in);
      return false;
    }
    int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
      close(in);
      return false;
    }
    bool ok = fill_copy(in, st, out);
    ok = close(out) == 0 && ok;
    close(in);
    if (ok && unlink(from.c_str()) == 0) return true;
    unlink(to.c_str());
    return false;
  }
};

}  // namespace

file_system& default_file_system() {
  static linux_file_system fs;
  return fs;
}

void open_standard_descriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is taken, which is fd itself. Without /dev/null there is
    // nothing better to put there.
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0 && null_fd != fd) close(null_fd);
  }
}

}  // namespace ferrox
