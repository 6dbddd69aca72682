#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "scanner/platform/user_folder.h"

namespace ferrox {
namespace {

bool is_absolute(const char* path) { return path != nullptr && path[0] == '/'; }

// The home folder from the password database, for a process started without HOME.
std::string password_home() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buf(size > 0 ? static_cast<std::size_t>(size) : 16384);
  struct passwd pw, *found = nullptr;
  if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr) return "";
  return is_absolute(found->pw_dir) ? found->pw_dir : "";
}

// Creates every missing folder of the absolute `path`, component by component.
bool make_folders(const std::string& path) {
  for (std::size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    const std::string part = path.substr(0, end);
    struct stat st;
    if (stat(part.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) return false;
      continue;
    }
    // Another process may create it in between; that is as good as our own mkdir.
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (stat(part.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

class linux_user_folder : public user_folder {
 public:
  bool local_data_folder(std::string& out) override {
    std::string folder;
    const char* data_home = getenv("XDG_DATA_HOME");
    const char* home = getenv("HOME");
    if (is_absolute(data_home)) {
      folder = data_home;
    } else {
      std::string base = is_absolute(home) ? home : password_home();
      if (base.empty()) return false;
      folder = base + "/.local/share";
    }
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (!make_folders(folder)) return false;
    out = folder;
    return true;
  }
};

class linux_output_file : public output_file {
 public:
  linux_output_file(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~linux_output_file() override {
    if (fd_ >= 0) close(fd_);
  }

  const std::string& path() const override { return path_; }

  bool write(const void* data, std::size_t size) override {
    if (failed_ || fd_ < 0) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t n = ::write(fd_, p, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = true;
        return false;
      }
      p += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  bool finish(bool durable) override {
    if (fd_ < 0) return false;
    bool ok = !failed_;
    if (durable && fsync(fd_) != 0) ok = false;
    // The descriptor is gone after close whatever it returns: never close it twice.
    if (close(fd_) != 0) ok = false;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
  std::string path_;
  bool failed_ = false;
};

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool sync_folder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

class linux_update_files : public update_files {
 public:
  std::unique_ptr<output_file> create_unique(const std::string& prefix) override {
    std::string name = prefix + "XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_unique<linux_output_file>(fd, name);
  }

  bool replace(const std::string& from, const std::string& to) override {
    struct stat st;
    mode_t mode = 0644;
    if (stat(to.c_str(), &st) == 0) mode = st.st_mode & 0777;
    if (chmod(from.c_str(), mode) != 0) return false;
    if (rename(from.c_str(), to.c_str()) != 0) return false;
    // The rename is done; a folder that cannot be flushed only weakens durability after a crash.
    sync_folder(folder_of(to));
    return true;
  }

  bool remove(const std::string& path) override {
    return unlink(path.c_str()) == 0 || errno == ENOENT;
  }
};

}  // namespace

user_folder& default_user_folder() {
  static linux_user_folder folder;
  return folder;
}

update_files& default_update_files() {
  static linux_update_files files;
  return files;
}

}  // namespace ferrox
