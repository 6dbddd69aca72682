// Fuzzes the loader of compiled definitions files: decoding and, when that passes, making a set.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "qorvex/src/defs_set.h"
#include "qorvex/src/sha256.h"

// Half of the inputs get a fresh checksum, so the mutations reach the sections behind it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  if (size > qorvex::kHeaderSize && (data[size - 1] & 1)) {
    auto sum = qorvex::sha256::of(std::string_view(input).substr(qorvex::kHeaderSize));
    input.replace(40, 32, reinterpret_cast<const char*>(sum.data()), 32);
  }
  std::string_view bytes(input);
  std::string err;
  qorvex::defs_file sig, companion;
  if (!qorvex::decode_defs_file(bytes, qorvex::defs_role::signatures, &sig, &err)) return 0;
  std::unique_ptr<qorvex::defs_set> set;
  qorvex::defs_set::create(std::move(sig), std::move(companion), &set, &err);
  return 0;
}
