// qvxdef info: checks a compiled file as the engine would and describes it.
#include <cstdio>

#include "qorvex/src/defs_registry.h"
#include "qorvex/src/defs_set.h"
#include "qorvex/tools/qvxdef_commands.h"

namespace qvxdef {

int run_info(const args& a) {
  if (a.size() != 1) {
    std::fprintf(stderr, "usage: qvxdef info FILE\n");
    return 2;
  }
  std::string bytes, err;
  if (!qorvex::read_small_file(a[0], qorvex::kMaxDefsFileSize, &bytes, &err)) {
    std::fprintf(stderr, "qvxdef info: %s\n", err.c_str());
    return 1;
  }
  qorvex::defs_file f;
  const char* role = "signatures";
  if (!qorvex::decode_defs_file(bytes, qorvex::defs_role::signatures, &f, &err, true)) {
    std::string companion_err;
    if (!qorvex::decode_defs_file(bytes, qorvex::defs_role::companion, &f, &companion_err, true)) {
      std::fprintf(stderr, "qvxdef info: %s: %s\n", a[0].c_str(), err.c_str());
      return 1;
    }
    role = "companion";
  }
  std::printf(
      "file: %s\nrole: %s\nformat: %u\nid: %s\nnames: %zu\nsignatures: %zu\n"
      "patterns: %zu\nhashes: %zu\nallow: %zu\ndatabase bytes: %zu\n",
      a[0].c_str(), role, f.version, f.id.c_str(), f.name_count(), f.entry_count(),
      f.patterns.size(), f.hash_count(), f.allow_count(), f.database.size());
  return 0;
}

}  // namespace qvxdef
