#include "qorvex/src/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace qorvex {
namespace {

// Published check values of this CRC: the same numbers the engine's own table gave before zlib's
// function took its place.
TEST(crc32_of, gives_the_known_values) {
  struct {
    std::string data;
    uint32_t want;
  } cases[] = {
      {"", 0u},
      {"a", 0xE8B7BE43u},
      {"abc", 0x352441C2u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(32, '\0'), 0x190A55ADu},
      {std::string(32, '\xFF'), 0xFF6CAB0Bu},
  };
  for (const auto& c : cases) EXPECT_EQ(crc32_of(c.data), c.want) << c.data;
}

}  // namespace
}  // namespace qorvex
