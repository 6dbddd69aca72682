#include "hubsvc/log_throttle.h"

#include <gtest/gtest.h>

namespace hubsvc {
namespace {

TEST(log_throttle, holds_lines_beyond_the_burst_and_then_counts_them) {
  log_throttle t(2, std::chrono::seconds(60));
  log_throttle::clock::time_point start{};
  EXPECT_EQ(t.admit("a", start), "a");
  EXPECT_EQ(t.admit("b", start + std::chrono::seconds(1)), "b");
  EXPECT_EQ(t.admit("c", start + std::chrono::seconds(2)), "");
  EXPECT_EQ(t.admit("d", start + std::chrono::seconds(59)), "");
  EXPECT_EQ(t.admit("e", start + std::chrono::seconds(61)), "e (2 more of these not logged)");
  EXPECT_EQ(t.admit("f", start + std::chrono::seconds(62)), "f");
}

}  // namespace
}  // namespace hubsvc
