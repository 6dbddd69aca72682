#include "scanner/scan/scan_settings.h"

#include <gtest/gtest.h>

namespace ferrox {
namespace {

TEST(scan_settings, archive_depth_reads_like_a_c_literal) {
  const struct {
    const char* text;
    int32_t depth;
  } cases[] = {{"0x10", 16}, {"010", 8}, {"5x", 5},  {"", 0},   {"abc", 0},
               {"5", 5},     {"-3", -3}, {"99", 99}, {"0x", 0}, {"99999999999", 2147483647}};
  for (const auto& c : cases) EXPECT_EQ(parse_archive_depth(c.text), c.depth) << c.text;
}

TEST(scan_settings, memory_limit_in_bytes_never_wraps) {
  const struct {
    const char* text;
    uint32_t bytes;
  } cases[] = {{"100", 104857600u},
               {"0", 0},
               {"-3", 0},
               {"abc", 0},
               {"4095", 4293918720u},
               {"4096", 4294967295u},
               {"5000", 4294967295u},
               {"12mb", 12582912u}};
  for (const auto& c : cases) EXPECT_EQ(memory_limit_bytes(c.text), c.bytes) << c.text;
}

}  // namespace
}  // namespace ferrox
