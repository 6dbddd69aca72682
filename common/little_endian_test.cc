#include "common/little_endian.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(little_endian, reads_lowest_byte_first_at_any_alignment) {
  const unsigned char bytes[] = {0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
  EXPECT_EQ(le16(bytes + 1), 0x0201u);
  EXPECT_EQ(le32(bytes + 1), 0x04030201u);
  EXPECT_EQ(le64(bytes + 1), 0xF807060504030201u);
  EXPECT_EQ(le16(bytes), 0x01AAu);
  // High bits set in every byte: nothing sign-extends into the neighbours.
  const unsigned char high[] = {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8};
  EXPECT_EQ(le32(high), 0xFCFDFEFFu);
  EXPECT_EQ(le64(high), 0xF8F9FAFBFCFDFEFFu);
}

}  // namespace
}  // namespace common
