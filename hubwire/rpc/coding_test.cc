#include "hubwire/rpc/coding.h"

#include <gtest/gtest.h>

namespace rpc {
namespace {

TEST(coding, fixed_values_round_trip_over_ranges) {
  bytes b;
  for (uint32_t v = 0; v < 100000; v += 7) put_u32(&b, v * 2654435761u);
  for (uint32_t v = 0; v < 65536; v += 3) put_u16(&b, static_cast<uint16_t>(v));
  byte_reader r(b);
  for (uint32_t v = 0; v < 100000; v += 7) {
    uint32_t got;
    ASSERT_TRUE(r.read_u32(&got));
    ASSERT_EQ(got, v * 2654435761u);
  }
  for (uint32_t v = 0; v < 65536; v += 3) {
    uint16_t got;
    ASSERT_TRUE(r.read_u16(&got));
    ASSERT_EQ(got, v);
  }
  EXPECT_EQ(r.remaining(), 0u);
}

TEST(coding, little_endian_order) {
  bytes b;
  put_u32(&b, 0x11223344);
  put_u16(&b, 0x5566);
  EXPECT_EQ(b, (bytes{0x44, 0x33, 0x22, 0x11, 0x66, 0x55}));
  set_u16(&b, 4, 0x7788);
  set_u32(&b, 0, 0x01020304);
  EXPECT_EQ(b, (bytes{0x04, 0x03, 0x02, 0x01, 0x88, 0x77}));
}

TEST(coding, short_input_fails_and_leaves_the_view) {
  bytes b = {1, 2, 3};
  byte_reader r(b);
  uint32_t v32;
  uint16_t v16;
  const uint8_t* p;
  EXPECT_FALSE(r.read_u32(&v32));
  EXPECT_EQ(r.position(), 0u);
  EXPECT_TRUE(r.read_u16(&v16));
  EXPECT_FALSE(r.read_u16(&v16));
  EXPECT_FALSE(r.read_span(2, &p));
  EXPECT_FALSE(r.skip(2));
  EXPECT_TRUE(r.read_span(1, &p));
  EXPECT_EQ(*p, 3);
  uint8_t v8;
  EXPECT_FALSE(r.read_u8(&v8));
}

TEST(coding, align_counts_from_the_start) {
  bytes b(10);
  byte_reader r(b);
  r.skip(1);
  EXPECT_TRUE(r.align(4));
  EXPECT_EQ(r.position(), 4u);
  EXPECT_TRUE(r.align(4));
  EXPECT_EQ(r.position(), 4u);
  r.skip(5);
  EXPECT_FALSE(r.align(4));  // would need 12 bytes
  EXPECT_EQ(r.position(), 9u);
}

}  // namespace
}  // namespace rpc
