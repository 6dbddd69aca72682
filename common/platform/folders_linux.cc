#include <sys/stat.h>

#include <cerrno>
#include <utility>

#include "common/platform/folders.h"

namespace common {

bool make_folders(const std::string& path, mode_t mode, std::string* failed) {
  if (failed != nullptr) failed->clear();
  for (size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    std::string part = path.substr(0, end);
    if (mkdir(part.c_str(), mode) != 0 && errno != EEXIST) {
      if (failed != nullptr) *failed = std::move(part);
      return false;
    }
  }
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  errno = ENOTDIR;
  return false;
}

}  // namespace common
