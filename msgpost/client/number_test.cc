#include "msgpost/client/number.h"

#include <gtest/gtest.h>

#include "hubwire/rpc/utf.h"

namespace msgpost {
namespace {

TEST(number, converts_like_the_c_library) {
  struct {
    std::u16string text;
    int32_t want;
  } cases[] = {
      {u"0", 0},
      {u"1000", 1000},
      {u"-1", -1},
      {u"+42", 42},
      {u"  \t\n17", 17},
      {u"12abc", 12},
      {u"abc", 0},
      {u"", 0},
      {u"-", 0},
      {u"+-3", 0},
      {u" - 3", 0},
      {u"2147483647", 2147483647},
      {u"2147483648", 2147483647},
      {u"99999999999999999999", 2147483647},
      {u"-2147483648", -2147483647 - 1},
      {u"-2147483649", -2147483647 - 1},
      {u"-99999999999999999999", -2147483647 - 1},
      {u"0x10", 0},
      {u"007", 7},
      {u"\u00a05", 0},  // no-break space is not C white space
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_int32(c.text), c.want) << rpc::utf16_to_utf8(c.text);
  }
}

}  // namespace
}  // namespace msgpost
