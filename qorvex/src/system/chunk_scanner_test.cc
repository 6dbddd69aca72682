#include "qorvex/src/system/chunk_scanner.h"

#include <gtest/gtest.h>

#include "qorvex/src/system/system_testing.h"

namespace qorvex {
namespace {

class chunk_scanner_test : public ::testing::Test {
 protected:
  // Entry 0 is Test-Virus (unanchored), entry 3 Test-Head (anchored at the start).
  std::shared_ptr<const defs_set> defs_ = compile_set(system_test_source());
  scan_context context_{defs_.get()};
  chunk_scanner chunks_{context_};
};

TEST_F(chunk_scanner_test, finds_a_marker_that_straddles_two_pieces) {
  std::string data = std::string(1000, 'x') + virus_marker() + std::string(1000, 'y');
  for (size_t cut : {size_t(1001), size_t(1007), size_t(1013)}) {
    chunks_.begin();
    chunks_.feed(0, std::string_view(data).substr(0, cut));
    chunks_.feed(cut, std::string_view(data).substr(cut));
    EXPECT_EQ(chunks_.finish().entries, std::vector<uint32_t>{0}) << "cut at " << cut;
    EXPECT_EQ(chunks_.finish().bytes, data.size());
  }
}

TEST_F(chunk_scanner_test, a_gap_between_pieces_joins_nothing) {
  std::string marker = virus_marker();
  chunks_.begin();
  chunks_.feed(0, marker.substr(0, 5));
  chunks_.feed(4096, marker.substr(5));  // the pages between could not be read
  EXPECT_TRUE(chunks_.finish().entries.empty());
}

TEST_F(chunk_scanner_test, start_anchors_hold_only_at_the_start_of_the_object) {
  std::string head = "HEAD";
  head += {'\x41', 'z', '\x7f'};
  chunks_.begin();
  chunks_.feed(0, head);
  EXPECT_EQ(chunks_.finish().entries, std::vector<uint32_t>{3});
  chunks_.begin();
  chunks_.feed(8192, head);
  EXPECT_TRUE(chunks_.finish().entries.empty());
}

}  // namespace
}  // namespace qorvex
