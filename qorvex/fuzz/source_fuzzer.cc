// Fuzzes the definitions source parser.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qorvex/src/source_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qorvex::source_set set;
  std::string err;
  qorvex::parse_source(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz", &set,
                       &err);
  return 0;
}
