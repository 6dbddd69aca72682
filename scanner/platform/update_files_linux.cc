#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/platform/io.h"
#include "scanner/platform/staging.h"
#include "scanner/platform/update_files.h"

namespace ferrox {
namespace {

class linux_output_file : public output_file {
 public:
  linux_output_file(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~linux_output_file() override {
    if (fd_ >= 0) close(fd_);
  }

  const std::string& path() const override { return path_; }

  bool write(const void* data, std::size_t size) override {
    if (failed_ || fd_ < 0) return false;
    if (common::write_all(fd_, data, size)) return true;
    failed_ = true;
    return false;
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

update_files& default_update_files() {
  static linux_update_files files;
  return files;
}

}  // namespace ferrox
