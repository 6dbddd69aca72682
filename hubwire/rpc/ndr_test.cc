#include "hubwire/rpc/ndr.h"

#include <gtest/gtest.h>

#include "hubwire/testing.h"

using testing_util::hex;
using testing_util::to_hex;

namespace rpc {
namespace {

TEST(ndr, longs_match_worked_bytes) {
  struct {
    int32_t v;
    const char* bytes;
  } cases[] = {{1234, "d2 04 00 00"}, {1, "01 00 00 00"}, {-2, "fe ff ff ff"}, {42, "2a 00 00 00"}};
  for (const auto& c : cases) {
    ndr_writer w;
    w.put_long(c.v);
    EXPECT_EQ(to_hex(w.data()), to_hex(hex(c.bytes))) << c.v;
  }
}

TEST(ndr, strings_match_worked_bytes) {
  struct {
    std::u16string s;
    const char* bytes;
  } cases[] = {
      {u"a@b:c.1",
       "08 00 00 00 00 00 00 00 08 00 00 00 61 00 40 00 62 00 3a 00 63 00 2e 00 31 00 00 00"},
      {u"x", "02 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00"},
      {u"", "01 00 00 00 00 00 00 00 01 00 00 00 00 00"},
  };
  for (const auto& c : cases) {
    ndr_writer w;
    w.put_string(c.s);
    EXPECT_EQ(to_hex(w.data()), to_hex(hex(c.bytes)));
    ndr_reader r(w.data());
    std::u16string back;
    ASSERT_TRUE(r.get_string(&back));
    EXPECT_EQ(back, c.s);
    EXPECT_TRUE(r.at_end());
  }
}

TEST(ndr, alignment_pads_before_the_next_long) {
  ndr_writer w;
  w.put_string(u"");  // 14 bytes
  w.put_long(1);
  EXPECT_EQ(to_hex(w.data()),
            to_hex(hex("01 00 00 00 00 00 00 00 01 00 00 00 00 00 00 00 01 00 00 00")));
}

TEST(ndr, optional_strings_number_their_referents) {
  ndr_writer w;
  w.put_optional_string(std::nullopt);
  w.put_optional_string(u"x");
  w.put_optional_string(u"x");
  EXPECT_EQ(to_hex(w.data()),
            to_hex(hex("00 00 00 00"
                       "00 00 02 00 02 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00"
                       "04 00 02 00 02 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00")));
  ndr_reader r(w.data());
  std::optional<std::u16string> a, b, c;
  ASSERT_TRUE(r.get_optional_string(&a));
  ASSERT_TRUE(r.get_optional_string(&b));
  ASSERT_TRUE(r.get_optional_string(&c));
  EXPECT_FALSE(a);
  EXPECT_EQ(b, u"x");
  EXPECT_TRUE(r.at_end());
}

TEST(ndr, string_round_trips_over_lengths) {
  for (size_t len : {0u, 1u, 2u, 3u, 7u, 100u, 1023u, 5000u}) {
    std::u16string s;
    for (size_t i = 0; i < len; ++i) s.push_back(static_cast<char16_t>(u'a' + i % 26));
    ndr_writer w;
    w.put_long(7);
    w.put_string(s);
    w.put_long(-9);
    ndr_reader r(w.data());
    int32_t a, b;
    std::u16string back;
    ASSERT_TRUE(r.get_long(&a) && r.get_string(&back) && r.get_long(&b)) << len;
    EXPECT_EQ(back, s);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, -9);
    EXPECT_TRUE(r.at_end());
  }
}

TEST(ndr, malformed_strings_are_refused) {
  // Each starts from "x" (max 2, offset 0, actual 2, 'x', NUL).
  struct {
    const char* what;
    const char* bytes;
  } cases[] = {
      {"offset not 0", "02 00 00 00 01 00 00 00 02 00 00 00 78 00 00 00"},
      {"actual above max", "01 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00"},
      {"actual 0", "02 00 00 00 00 00 00 00 00 00 00 00"},
      {"huge max_count", "01 00 20 00 00 00 00 00 02 00 00 00 78 00 00 00"},
      {"data past the end", "08 00 00 00 00 00 00 00 08 00 00 00 78 00 00 00"},
      {"odd byte left", "02 00 00 00 00 00 00 00 02 00 00 00 78 00 00"},
      {"no terminator", "02 00 00 00 00 00 00 00 02 00 00 00 78 00 79 00"},
      {"embedded NUL", "03 00 00 00 00 00 00 00 03 00 00 00 78 00 00 00 00 00"},
      {"lone high surrogate", "02 00 00 00 00 00 00 00 02 00 00 00 00 d8 00 00"},
      {"lone low surrogate", "03 00 00 00 00 00 00 00 03 00 00 00 00 dc 78 00 00 00"},
      {"header cut", "02 00 00 00 00 00 00 00 02 00"},
      {"stray referent id", "00 00 02 00 02 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00"},
  };
  for (const auto& c : cases) {
    bytes b = hex(c.bytes);
    ndr_reader r(b);
    std::u16string s;
    EXPECT_FALSE(r.get_string(&s)) << c.what;
  }
}

TEST(ndr, surrogate_pair_is_accepted) {
  ndr_writer w;
  w.put_string(u"\U0001F600");
  ndr_reader r(w.data());
  std::u16string s;
  ASSERT_TRUE(r.get_string(&s));
  EXPECT_EQ(s, u"\U0001F600");
}

TEST(ndr, context_handle_and_null) {
  context_handle h{};
  EXPECT_TRUE(is_null(h));
  h[19] = 1;
  EXPECT_FALSE(is_null(h));
  ndr_writer w;
  w.put_context(h);
  EXPECT_EQ(w.data().size(), 20u);
  ndr_reader r(w.data());
  context_handle back{};
  ASSERT_TRUE(r.get_context(&back));
  EXPECT_EQ(back, h);
  ndr_reader short_reader(w.data().data(), 19);
  EXPECT_FALSE(short_reader.get_context(&back));
}

}  // namespace
}  // namespace rpc
