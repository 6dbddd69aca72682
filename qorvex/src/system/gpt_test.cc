#include "qorvex/src/system/gpt.h"

#include <gtest/gtest.h>

#include <string>

#include "qorvex/src/system/gpt_testing.h"

namespace qorvex {
namespace {

TEST(gpt, parses_a_valid_header) {
  std::string sector = make_gpt_header(512, 1, 2, 128, 128, 0x1234);
  gpt_header h;
  ASSERT_TRUE(parse_gpt_header(sector, &h));
  EXPECT_EQ(h.current_lba, 1u);
  EXPECT_EQ(h.entries_lba, 2u);
  EXPECT_EQ(h.entry_count, 128u);
  EXPECT_EQ(h.entry_size, 128u);
  EXPECT_EQ(h.entries_crc, 0x1234u);
  EXPECT_EQ(gpt_entry_bytes(h), 16384u);
}

TEST(gpt, refuses_damaged_headers) {
  struct row {
    const char* what;
    size_t at;
    char value;
  };
  const row rows[] = {
      {"signature", 0, 'X'},
      {"crc", 16, 0x55},
      {"a covered byte", 40, 0x01},
  };
  for (const row& r : rows) {
    std::string sector = make_gpt_header(512, 1, 2, 128, 128, 0);
    sector[r.at] = r.value;
    gpt_header h;
    EXPECT_FALSE(parse_gpt_header(sector, &h)) << r.what;
  }
  gpt_header h;
  EXPECT_FALSE(parse_gpt_header(make_gpt_header(512, 1, 2, 128, 64, 0), &h)) << "entry size 64";
  EXPECT_FALSE(parse_gpt_header(make_gpt_header(512, 1, 2, 128, 130, 0), &h)) << "entry size 130";
  EXPECT_FALSE(parse_gpt_header(std::string("EFI PART"), &h)) << "short sector";
}

TEST(gpt, caps_a_huge_entry_array) {
  gpt_header h;
  ASSERT_TRUE(parse_gpt_header(make_gpt_header(4096, 1, 2, 0xFFFFFFFF, 4096, 0), &h));
  EXPECT_EQ(gpt_entry_bytes(h), kMaxGptEntryBytes);
}

}  // namespace
}  // namespace qorvex
