#include "qorvex/src/folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <memory>
#include <new>
#include <set>

#include "qorvex/src/engine_object.h"
#include "qorvex/src/worker_pool.h"

namespace qorvex {

namespace {

void scan_members(scan_context& context, int fd, uint64_t size, const std::string& name,
                  const file_scan_options& options, file_scan_result* out) {
  scan_archive(context, fd_source(fd, size), name, options.archives, &out->others);
  if (!options.xattrs) return;
  std::string names(kMaxXattrValue, '\0');
  ssize_t len = flistxattr(fd, names.data(), names.size());
  if (len <= 0) return;  // none, not supported, or a list too long to be sound
  names.resize(size_t(len));
  std::string value(kMaxXattrValue, '\0');
  size_t start = 0, count = 0;
  while (start < names.size() && count++ < kMaxXattrs) {
    std::string attr = names.c_str() + start;
    start += attr.size() + 1;
    if (attr.empty()) continue;
    object_result r;
    r.inner = ":" + attr;
    ssize_t n = fgetxattr(fd, attr.c_str(), value.data(), value.size());
    if (n < 0 && errno == ENODATA) continue;  // removed since it was listed
    if (n < 0)
      r.result.error = errno;
    else
      context.scan_bytes(std::string_view(value.data(), size_t(n)), &r.result);
    out->others.push_back(std::move(r));
  }
}

}  // namespace

void scan_open_file(scan_context& context, int fd, uint64_t size, const std::string& name,
                    const file_scan_options& options, file_scan_result* out) {
  out->others.clear();
  try {
    context.scan_fd(fd, size, &out->content);
  } catch (const std::bad_alloc&) {
    out->content.error = ENOMEM;
  }
  if (out->content.error != 0) return;
  try {
    scan_members(context, fd, size, name, options, out);
  } catch (const std::bad_alloc&) {
    // Out of memory while unpacking (an archive's members are held in memory): the file's own
    // content stands, and the rest is one object that could not be read. Thrown on a worker,
    // this would end the whole process.
    out->others.clear();
    out->others.shrink_to_fit();
    object_result failed;
    failed.result.error = ENOMEM;
    out->others.push_back(std::move(failed));
  }
}

namespace {

std::string join(const std::string& dir, const std::string& name) {
  return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

// A value holding a '/' names a full path (a trailing '/' ignored); otherwise a base name.
bool matches_name(const std::vector<std::string>& list, const std::string& name,
                  const std::string& path) {
  for (std::string v : list) {
    if (v.find('/') == std::string::npos) {
      if (v == name) return true;
      continue;
    }
    while (v.size() > 1 && v.back() == '/') v.pop_back();
    if (v == path) return true;
  }
  return false;
}

// Extensions compare without their dot and without regard to case: ".EXE" lists "a.exe".
bool matches_extension(const std::vector<std::string>& list, const std::string& name) {
  size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0) return false;
  const char* ext = name.c_str() + dot + 1;
  for (const std::string& v : list) {
    const char* want = v.c_str() + (v.front() == '.' ? 1 : 0);
    if (strcasecmp(want, ext) == 0) return true;
  }
  return false;
}

// The id of the mount the descriptor is on; falls back to the device where the kernel gives no
// mount id. Mount ids tell a bind mount from its source, devices do not.
uint64_t mount_of(int fd) {
  struct statx stx;
  if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) == 0 && (stx.stx_mask & STATX_MNT_ID)) {
    return stx.stx_mnt_id;
  }
  struct stat st;
  return fstat(fd, &st) == 0 ? uint64_t(st.st_dev) | (1ull << 63) : 0;
}

class folder_walk {
 public:
  explicit folder_walk(engine_object* object)
      : object_(object),
        settings_(object->settings()),
        follow_((settings_.flags & QVX_FLAG_FOLLOW_LINKS) != 0),
        recurse_((settings_.flags & QVX_FLAG_RECURSE) != 0),
        done_(std::make_shared<completion>()),
        pool_(worker_pool::instance()),
        window_(std::max<size_t>(8, 16 * pool_.size())) {}

  ~folder_walk() { drain(0); }

  bool run(int root_fd, const std::string& root) {
    root_mount_ = mount_of(root_fd);
    struct stat st;
    if (fstat(root_fd, &st) == 0) visited_.emplace(st.st_dev, st.st_ino);
    push_dir(root_fd, root);
    while (!stack_.empty()) {
      frame& f = stack_.back();
      if (f.next == f.entries.size()) {
        names_held_ -= f.entries.size();
        stack_.pop_back();
        continue;
      }
      dir_entry e = std::move(f.entries[f.next++]);
      visit(stack_.size() - 1, e);
    }
    drain(0);
    return detected_;
  }

 private:
  struct dir_entry {
    std::string name;
    unsigned char type;
    bool operator<(const dir_entry& o) const { return name < o.name; }
  };
  struct frame {
    std::shared_ptr<const dir_handle> dir;
    int fd;  // dir->fd()
    std::string path;
    std::vector<dir_entry> entries;
    size_t next = 0;
  };
  struct pending {
    std::string path;
    file_handle file;  // kept open until the file's action is done
    file_scan_result result;
    bool done = false;
  };

  // Reads the folder's entries, sorted so that events come in the same order on every file
  // system, and takes ownership of fd.
  void push_dir(int fd, const std::string& path) {
    frame f{std::make_shared<dir_handle>(fd), fd, path, {}, 0};
    int dup_fd = dup(fd);
    DIR* dir = dup_fd < 0 ? nullptr : fdopendir(dup_fd);
    if (dir == nullptr) {
      if (dup_fd >= 0) close(dup_fd);
      object_->report_unreadable(path);
      return;
    }
    bool cut = false;
    while (dirent* d = readdir(dir)) {
      std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      if (names_held_ + f.entries.size() >= kMaxNamesHeld) {
        cut = true;
        break;
      }
      f.entries.push_back({std::move(name), d->d_type});
    }
    closedir(dir);
    if (cut) object_->report_unreadable(path);
    std::sort(f.entries.begin(), f.entries.end());
    names_held_ += f.entries.size();
    stack_.push_back(std::move(f));
  }

  static unsigned char type_of(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return DT_DIR;
    if (S_ISREG(st.st_mode)) return DT_REG;
    if (S_ISLNK(st.st_mode)) return DT_LNK;
    return DT_FIFO;  // any special file: never opened
  }

  void visit(size_t level, const dir_entry& e) {
    int dir_fd = stack_[level].fd;
    std::shared_ptr<const dir_handle> dir = stack_[level].dir;
    std::string path = join(stack_[level].path, e.name);
    unsigned char type = e.type;
    struct stat st;
    if (type == DT_UNKNOWN) {
      if (fstatat(dir_fd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;  // vanished
      type = type_of(st);
    }
    bool linked = type == DT_LNK;
    if (linked) {
      if (!follow_) return;
      if (fstatat(dir_fd, e.name.c_str(), &st, 0) != 0) return;  // dangling or looping link
      type = type_of(st);
    }
    if (type == DT_DIR) return enter_dir(dir_fd, e.name, path, linked);
    if (settings_.exclude_file.size() && matches_name(settings_.exclude_file, e.name, path)) return;
    if (settings_.exclude_ext.size() && matches_extension(settings_.exclude_ext, e.name)) return;
    if (settings_.include_ext.size() && !matches_extension(settings_.include_ext, e.name)) return;
    if (type != DT_REG) return object_->report_status(path, QVX_ST_UNSUPPORTED);
    open_file(std::move(dir), e.name, path, linked);
  }

  void open_file(std::shared_ptr<const dir_handle> dir, const std::string& name,
                 const std::string& path, bool linked) {
    auto job = std::make_shared<pending>();
    file_handle& f = job->file;
    f.fd = openat(dir->fd(), name.c_str(),
                  O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (linked ? 0 : O_NOFOLLOW));
    if (f.fd < 0) {
      // Gone, or swapped for a link since the folder was read: nothing of the tree to scan.
      if (errno != ENOENT && errno != ELOOP) object_->report_unreadable(path);
      return;
    }
    if (fstat(f.fd, &f.st) != 0 || !S_ISREG(f.st.st_mode)) {
      return object_->report_status(path, QVX_ST_UNSUPPORTED);
    }
    if (linked && mount_of(f.fd) != root_mount_) return;
    f.dir = std::move(dir);
    f.name = name;
    job->path = path;
    submit(std::move(job));
  }

  void enter_dir(int dir_fd, const std::string& name, const std::string& path, bool linked) {
    if (!recurse_) return;
    if (matches_name(settings_.exclude_folder, name, path)) return;
    if (stack_.size() >= kMaxDepth || visited_.size() >= kMaxFolders)
      return object_->report_status(path, QVX_ST_TOO_DEEP);
    int fd = openat(dir_fd, name.c_str(),
                    O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC | (linked ? 0 : O_NOFOLLOW));
    if (fd < 0) {
      if (errno != ENOENT && errno != ELOOP && errno != ENOTDIR) object_->report_unreadable(path);
      return;
    }
    struct stat st;
    // A folder seen before is a link loop (or a second way into a folder already scanned); a
    // folder on another mount is outside the target.
    if (fstat(fd, &st) != 0 || !visited_.emplace(st.st_dev, st.st_ino).second ||
        mount_of(fd) != root_mount_) {
      close(fd);
      return;
    }
    push_dir(fd, path);
  }

  void submit(std::shared_ptr<pending> job) {
    std::shared_ptr<const defs_set> defs = object_->defs();
    file_scan_options options = object_->scan_options();
    std::shared_ptr<completion> done = done_;
    // The task holds everything it touches, so nothing it uses can go away under it. The file
    // stays open after the scan: the calling thread acts on it.
    pool_.submit([job, defs, options, done] {
      try {
        scan_open_file(worker_pool::context_for(defs), job->file.fd, uint64_t(job->file.st.st_size),
                       job->file.name, options, &job->result);
      } catch (const std::exception&) {
        // Nothing may leave a worker (it would end the process), and the walk waits for this
        // file: report it as not read.
        job->result = file_scan_result();
        job->result.content.error = ENOMEM;
      }
      done->mark_done(&job->done);
    });
    inflight_.push_back(std::move(job));
    drain(window_ - 1);
  }

  // Raises the events of finished files, oldest first, until at most `keep` are in flight.
  void drain(size_t keep) {
    while (inflight_.size() > keep) {
      std::shared_ptr<pending> job = inflight_.front();
      done_->wait_for(&job->done);
      inflight_.pop_front();
      detected_ |= object_->report_file(job->path, job->result, &job->file);
    }
  }

  engine_object* object_;
  const object_settings& settings_;
  bool follow_, recurse_;
  std::shared_ptr<completion> done_;
  worker_pool& pool_;
  size_t window_;
  uint64_t root_mount_ = 0;
  std::set<std::pair<dev_t, ino_t>> visited_;
  std::vector<frame> stack_;
  size_t names_held_ = 0;
  std::deque<std::shared_ptr<pending>> inflight_;
  bool detected_ = false;
};

}  // namespace

int32_t engine_object::scan_folder(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if (err == ENOTDIR) return scan_file(path);
    if (err == EACCES || err == EPERM) report_unreadable(path);
    return open_error_result(err);
  }
  folder_walk walk(this);
  return walk.run(fd, path) ? QVX_R_DETECTED : QVX_R_SUCCESS;
}

}  // namespace qorvex
