#include "hubwire/rpc/utf.h"

#include <gtest/gtest.h>

namespace rpc {
namespace {

TEST(utf, round_trips) {
  for (const char* s : {"", "msgPost", "caf\xc3\xa9", "\xe2\x82\xac", "\xf0\x9f\x98\x80 x"}) {
    std::u16string w;
    ASSERT_TRUE(utf8_to_utf16(s, &w)) << s;
    EXPECT_EQ(utf16_to_utf8(w), s);
  }
}

TEST(utf, malformed_utf8_is_refused) {
  for (const char* s : {"\x80", "\xc3", "\xc0\xaf", "\xe0\x80\xaf", "\xed\xa0\x80",
                        "\xf4\x90\x80\x80", "\xff", "a\xc3(b"}) {
    std::u16string w;
    EXPECT_FALSE(utf8_to_utf16(s, &w)) << testing::PrintToString(std::string(s));
  }
}

TEST(utf, lone_surrogates_print_as_replacement) {
  EXPECT_EQ(utf16_to_utf8(std::u16string(1, char16_t(0xd800))), "\xef\xbf\xbd");
  EXPECT_EQ(utf16_to_utf8(std::u16string{u'a', char16_t(0xdc00)}), "a\xef\xbf\xbd");
}

}  // namespace
}  // namespace rpc
