#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "scanner/platform/staging.h"

namespace ferrox {
namespace {

const char kSystemKeysFolder[] = "/etc/ferrox/keys/";
// A staging folder holds a handful of files; anything beyond this is not ours to walk.
constexpr std::size_t kMaxRemoved = 1000;

class linux_folder_lock : public folder_lock {
 public:
  explicit linux_folder_lock(int fd) : fd_(fd) {}
  ~linux_folder_lock() override { close(fd_); }

 private:
  int fd_;
};

std::string with_slash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

std::unique_ptr<folder_lock> lock_folder(const std::string& folder, int wait_ms) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  for (int waited = 0;; waited += 50) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return std::make_unique<linux_folder_lock>(fd);
    if ((errno != EWOULDBLOCK && errno != EINTR) || waited >= wait_ms) break;
    const timespec pause{0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  close(fd);
  return nullptr;
}

bool make_private_folder(const std::string& path) { return mkdir(path.c_str(), 0700) == 0; }

bool entry_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> folder_entries(const std::string& folder, std::size_t limit,
                                        bool (*keep)(const std::string& name)) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  // Every entry is looked at, so that no kept name hides behind others; only kept ones count.
  while (names.size() < limit) {
    const dirent* e = readdir(dir);
    if (e == nullptr) break;
    const std::string name = e->d_name;
    if (name != "." && name != ".." && (keep == nullptr || keep(name))) names.push_back(name);
  }
  closedir(dir);
  return names;
}

bool remove_entry(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlink(path.c_str()) == 0;
  const std::string folder = with_slash(path);
  for (const std::string& name : folder_entries(folder, kMaxRemoved)) {
    struct stat inner;
    // Only files and links: the update never makes folders inside its staging folder.
    if (lstat((folder + name).c_str(), &inner) == 0 && !S_ISDIR(inner.st_mode))
      unlink((folder + name).c_str());
  }
  return rmdir(path.c_str()) == 0;
}

bool sync_folder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

std::vector<std::string> trusted_key_files(std::size_t limit) {
  const char* chosen = std::getenv("FERROX_TRUSTED_KEYS");
  const std::string folder =
      with_slash(chosen != nullptr && *chosen != '\0' ? chosen : kSystemKeysFolder);
  std::vector<std::string> files = folder_entries(folder, limit, [](const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".pub") == 0;
  });
  for (std::string& name : files) name = folder + name;
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace ferrox
