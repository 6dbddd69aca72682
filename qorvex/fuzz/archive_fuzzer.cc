// Fuzzes archive unpacking (zip and gzip, nested) with small limits, over a small set.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qorvex/src/archive_scan.h"
#include "qorvex/src/defs_writer.h"
#include "qorvex/src/source_parser.h"

namespace {

std::unique_ptr<qorvex::defs_set> make_set() {
  qorvex::source_set src;
  std::string err;
  qorvex::compiled_defs c;
  qorvex::parse_source("pattern Fuzz-Marker kind=1 : \"FUZZ-MARK\"\n", "fuzz", &src, &err);
  qorvex::compile_defs(src, "202612101530", &c, &err);
  static std::string keep_sig = c.signatures, keep_companion = c.companion;
  qorvex::defs_file sig, companion;
  qorvex::decode_defs_file(keep_sig, qorvex::defs_role::signatures, &sig, &err);
  qorvex::decode_defs_file(keep_companion, qorvex::defs_role::companion, &companion, &err);
  std::unique_ptr<qorvex::defs_set> set;
  qorvex::defs_set::create(std::move(sig), std::move(companion), &set, &err);
  return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<qorvex::defs_set> set = make_set();
  static qorvex::scan_context context(set.get());
  qorvex::archive_limits limits;
  limits.member_bytes = 1 << 20;
  limits.total_bytes = 4 << 20;
  limits.objects = 200;
  limits.ratio_floor = 1 << 16;
  std::vector<qorvex::object_result> out;
  qorvex::memory_source source(std::string_view(reinterpret_cast<const char*>(data), size));
  qorvex::scan_archive(context, source, "fuzz.zip", limits, &out);
  return 0;
}
