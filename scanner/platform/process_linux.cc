#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "scanner/platform/process.h"

namespace ferrox {

bool module_path(std::string& out) {
  constexpr std::size_t kCap = 10240;
  std::vector<char> buf(kCap);
  const ssize_t n = readlink("/proc/self/exe", buf.data(), kCap);
  if (n < 0 || static_cast<std::size_t>(n) >= kCap) return false;
  std::string path(buf.data(), static_cast<std::size_t>(n));
  static const std::string kDeleted = " (deleted)";
  struct stat st;
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0 &&
      stat("/proc/self/exe", &st) == 0 && st.st_nlink == 0)
    path.resize(path.size() - kDeleted.size());
  out = path;
  return true;
}

int64_t wall_clock_seconds() { return static_cast<int64_t>(std::time(nullptr)); }

void make_console_unbuffered() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

std::string temp_folder() {
  const char* t = std::getenv("TMPDIR");
  struct stat st;
  if (t && t[0] == '/' && stat(t, &st) == 0 && S_ISDIR(st.st_mode)) return t;
  return "/tmp";
}

}  // namespace ferrox
