#include "qorvex/src/file_action.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "common/platform/eintr.h"
#include "common/platform/folders.h"
#include "common/platform/io.h"
#include "qorvex/src/sha256.h"

namespace qorvex {

dir_handle::~dir_handle() {
  if (fd_ >= 0) close(fd_);
}

file_handle::~file_handle() {
  if (fd >= 0) close(fd);
}

bool still_same(const file_handle& f) {
  struct stat now;
  if (!f.dir || fstatat(f.dir->fd(), f.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return S_ISREG(now.st_mode) && now.st_dev == f.st.st_dev && now.st_ino == f.st.st_ino;
}

int delete_file(const file_handle& f) {
  if (!still_same(f)) return ESTALE;
  return unlinkat(f.dir->fd(), f.name.c_str(), 0) == 0 ? 0 : errno;
}

namespace {

std::string random_suffix() {
  uint64_t r = 0;
  if (getrandom(&r, sizeof r, 0) != sizeof r)
    r = uint64_t(time(nullptr)) ^ uint64_t(getpid()) << 32;
  char buf[20];
  std::snprintf(buf, sizeof buf, "%012llx", static_cast<unsigned long long>(r & 0xffffffffffffull));
  return buf;
}

// Creates a new file `prefix` + random + `suffix` in the folder; -1 with errno on failure.
int create_unique(int dir_fd, const std::string& prefix, const std::string& suffix,
                  std::string* name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = prefix + random_suffix() + suffix;
    int fd =
        openat(dir_fd, name->c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Copies the source's bytes [0, limit) into out, zeroing the blank spans; hashes what it wrote.
bool copy_content(int from, int out, uint64_t limit, const std::vector<repair_span>& blanks,
                  sha256* hash) {
  std::vector<char> buf(256 << 10);
  for (uint64_t pos = 0; pos < limit;) {
    ssize_t n = common::retry_eintr([&] {
      return pread(from, buf.data(), size_t(std::min<uint64_t>(buf.size(), limit - pos)),
                   off_t(pos));
    });
    if (n < 0) return false;
    if (n == 0) break;
    for (const repair_span& b : blanks) {
      uint64_t lo = std::max(b.start, pos), hi = std::min(b.end, pos + uint64_t(n));
      if (lo < hi) std::fill(buf.begin() + long(lo - pos), buf.begin() + long(hi - pos), '\0');
    }
    if (hash != nullptr) hash->update(buf.data(), size_t(n));
    if (!common::write_all(out, buf.data(), size_t(n))) return false;
    pos += uint64_t(n);
  }
  return true;
}

// Opens the folder `name` in `parent` without following a link, making it (mode 0700) when it
// is missing. It must be a folder of ours that only we can use: the store holds copies of other
// people's files. -1 with errno otherwise.
int open_private_folder(int parent, const char* name) {
  bool made = mkdirat(parent, name, 0700) == 0;
  if (!made && errno != EEXIST) return -1;
  int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  if (made) fchmod(fd, 0700);  // the umask may have taken bits away
  struct stat st;
  int err = fstat(fd, &st) != 0                                      ? errno
            : st.st_uid != geteuid() || (st.st_mode & 07777) != 0700 ? EPERM
                                                                     : 0;
  if (err == 0) return fd;
  close(fd);
  errno = err;
  return -1;
}

// The store, opened level by level from the data folder: `ferrox`, then `quarantine`.
int open_store(const std::string& base) {
  if (base.empty()) {
    errno = ENOENT;
    return -1;
  }
  if (!common::make_folders(base, 0700)) return -1;
  int base_fd = open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (base_fd < 0) return -1;
  int ferrox_fd = open_private_folder(base_fd, "ferrox");
  int err = errno;
  close(base_fd);
  if (ferrox_fd < 0) {
    errno = err;
    return -1;
  }
  int store_fd = open_private_folder(ferrox_fd, "quarantine");
  err = errno;
  close(ferrox_fd);
  errno = err;
  return store_fd;
}

std::string octal(mode_t mode) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04o", unsigned(mode & 07777));
  return buf;
}

std::string entry_path(const file_handle& f, const std::string& fallback) {
  char link[64], target[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", f.dir->fd());
  ssize_t n = readlink(link, target, sizeof target);
  if (n <= 0 || size_t(n) >= sizeof target) return fallback;
  std::string dir(target, size_t(n));
  return dir == "/" ? "/" + f.name : dir + "/" + f.name;
}

}  // namespace

namespace {

// The per-user data folder that holds ferrox/quarantine; empty when there is no home.
std::string data_folder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share";
  struct passwd pw, *found = nullptr;
  char buf[4096];
  if (getpwuid_r(geteuid(), &pw, buf, sizeof buf, &found) != 0 || found == nullptr ||
      pw.pw_dir == nullptr || pw.pw_dir[0] != '/') {
    return "";
  }
  return std::string(pw.pw_dir) + "/.local/share";
}

}  // namespace

std::string quarantine_folder() {
  std::string base = data_folder();
  return base.empty() ? "" : base + "/ferrox/quarantine";
}

int quarantine_file(const file_handle& f, const std::string& path, const std::string& names,
                    std::string* item) {
  if (!still_same(f)) return ESTALE;
  std::string store = quarantine_folder();
  int store_fd = open_store(data_folder());
  if (store_fd < 0) return errno ? errno : EIO;
  char stamp[32];
  time_t now = time(nullptr);
  struct tm tm;
  strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S-", gmtime_r(&now, &tm));
  std::string data_name, info_name;
  int data_fd = create_unique(store_fd, stamp, ".data", &data_name);
  int err = data_fd < 0 ? errno : 0;
  sha256 hash;
  if (err == 0 &&
      (!copy_content(f.fd, data_fd, uint64_t(f.st.st_size), {}, &hash) || fsync(data_fd) != 0)) {
    err = errno ? errno : EIO;
  }
  if (data_fd >= 0) close(data_fd);
  if (err == 0) {
    info_name = data_name.substr(0, data_name.size() - 5) + ".info";
    int info_fd = openat(store_fd, info_name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    auto sum = hash.finish();
    char hex[65];
    for (size_t i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", sum[i]);
    char iso[32];
    strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::string record = "path=" + entry_path(f, path) + "\nuid=" + std::to_string(f.st.st_uid) +
                         "\ngid=" + std::to_string(f.st.st_gid) + "\nmode=" + octal(f.st.st_mode) +
                         "\nmtime=" + std::to_string(f.st.st_mtim.tv_sec) +
                         "\nsize=" + std::to_string(f.st.st_size) + "\nsha256=" + hex +
                         "\nnames=" + names + "\nquarantined=" + iso + "\ndata=" + data_name + "\n";
    if (info_fd < 0 || !common::write_all(info_fd, record.data(), record.size()) ||
        fsync(info_fd) != 0) {
      err = errno ? errno : EIO;
    }
    if (info_fd >= 0) close(info_fd);
  }
  if (err == 0) err = delete_file(f);
  if (err != 0) {
    if (!data_name.empty()) unlinkat(store_fd, data_name.c_str(), 0);
    if (!info_name.empty()) unlinkat(store_fd, info_name.c_str(), 0);
  } else {
    *item = store + "/" + info_name;
  }
  close(store_fd);
  return err;
}

int repair_file(const file_handle& f, const std::vector<repair_span>& spans,
                const std::function<bool(int fd, uint64_t size)>& clean) {
  if (!still_same(f) || spans.empty()) return spans.empty() ? EINVAL : ESTALE;
  uint64_t limit = uint64_t(f.st.st_size);
  std::vector<repair_span> blanks;
  for (const repair_span& s : spans) {
    if (s.how == repair_type::cut) limit = std::min(limit, s.start);
    if (s.how == repair_type::blank) blanks.push_back(s);
  }
  std::string temp;
  int out =
      create_unique(f.dir->fd(), std::string(".").append(f.name, 0, 100) + ".repair-", "", &temp);
  if (out < 0) return errno;
  int err = 0;
  if (!copy_content(f.fd, out, limit, blanks, nullptr) || fsync(out) != 0)
    err = errno ? errno : EIO;
  struct stat st;
  if (err == 0 && (fstat(out, &st) != 0 || !clean(out, uint64_t(st.st_size)))) err = EILSEQ;
  if (err == 0) {
    // Keep the permission bits (not set-id: a repaired program is another program) and, when
    // allowed, the owner.
    if (fchown(out, f.st.st_uid, f.st.st_gid) != 0) {
      // Not allowed for other users' files: the copy stays the caller's, as a copy would.
    }
    fchmod(out, f.st.st_mode & 0777);
  }
  close(out);
  if (err == 0 && !still_same(f)) err = ESTALE;
  if (err == 0 && renameat(f.dir->fd(), temp.c_str(), f.dir->fd(), f.name.c_str()) != 0)
    err = errno;
  if (err != 0) unlinkat(f.dir->fd(), temp.c_str(), 0);
  return err;
}

}  // namespace qorvex
