// qvxdef: the definitions tool. `qvxdef compile` builds the definitions files from their
// sources; `qvxdef info` describes a compiled file; `qvxdef publish` lays out a release for the
// update server. New subcommands go in the table below, each
// in its own source file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "common/platform/io.h"
#include "qorvex/tools/qvxdef_commands.h"
#include "qorvex/tools/qvxdef_publish.h"

namespace qvxdef {

namespace {
const command kCommands[] = {
    {"compile", run_compile,
     "compile [--id=YYYYMMDDhhmm] [--out-dir=DIR] [--signatures=NAME] [--companion=NAME] "
     "[--portable] SOURCE..."},
    {"info", run_info, "info FILE"},
    {"publish", run_publish, "publish --out=DIR [--sign-key=KEY.pem] DEFS_DIR"},
};
}  // namespace

bool take_option(const std::string& arg, const char* name, std::string* value) {
  std::string prefix = std::string("--") + name + "=";
  if (arg.compare(0, prefix.size(), prefix) != 0) return false;
  *value = arg.substr(prefix.size());
  return true;
}

bool write_file_atomically(const std::string& path, const std::string& bytes) {
  std::string temp = path + ".tmpXXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) {
    std::fprintf(stderr, "qvxdef: %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  bool ok =
      common::write_all(fd, bytes.data(), bytes.size()) && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), path.c_str()) == 0) return true;
  std::fprintf(stderr, "qvxdef: %s: %s\n", path.c_str(), std::strerror(errno));
  unlink(temp.c_str());
  return false;
}

}  // namespace qvxdef

namespace {

void print_usage(FILE* out) {
  std::fprintf(out, "usage:\n");
  for (const qvxdef::command& c : qvxdef::kCommands) std::fprintf(out, "  qvxdef %s\n", c.usage);
  std::fprintf(out, "  qvxdef --help\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2) {
    for (const qvxdef::command& c : qvxdef::kCommands) {
      if (std::strcmp(argv[1], c.name) == 0) return c.run(qvxdef::args(argv + 2, argv + argc));
    }
    // Asked for, the usage is the answer: standard output and success.
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
      print_usage(stdout);
      return 0;
    }
  }
  print_usage(stderr);
  return 2;
}
