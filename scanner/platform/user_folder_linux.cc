#include <fcntl.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "common/platform/folders.h"
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
    if (!common::make_folders(folder, 0700)) return false;
    out = folder;
    return true;
  }
};

}  // namespace

user_folder& default_user_folder() {
  static linux_user_folder folder;
  return folder;
}

}  // namespace ferrox
