// Fuzzes the readers of ClamAV database files and containers: the first byte picks the format.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/clamav_db.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* kinds[] = {".hdb", ".hsb",  ".mdb", ".msb", ".fp",
                                ".sfp", ".ign2", ".ndb", ".ldb", ".cvd"};
  std::string_view kind = kinds[data[0] % 10];
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string err;
  if (kind == ".cvd") {
    std::vector<qorvex::db_member> members;
    qorvex::unpack_container(text, &members, &err);
    return 0;
  }
  qorvex::source_set set;
  qorvex::db_report report;
  if (qorvex::parse_db_file(kind, text, "fuzz", &set, &report, &err)) {
    std::vector<qorvex::db_report> reports{report};
    qorvex::drop_names(report.ignored, &set, &reports);
  } else if (!set.rules.rules.empty() || !set.rules.patterns.empty() || !set.hashes.empty()) {
    __builtin_trap();  // a refused file leaves nothing behind
  }
  return 0;
}
