#include "msgpost/cmdline/args.h"

#include <gtest/gtest.h>

#include "hubwire/rpc/utf.h"

// The tables name only the fields that differ from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace msgpost {
namespace {

std::string show(const std::vector<std::u16string>& args) {
  std::string out;
  for (const auto& a : args) out += "[" + rpc::utf16_to_utf8(a) + "]";
  return out;
}

TEST(args, accepted_command_lines) {
  struct {
    std::vector<std::u16string> args;
    post_args want;
  } cases[] = {
      {{u"msgpost", u"/q", u"to", u"msg"}, {.to_id = u"to", .msg_id = u"msg", .quiet = true}},
      {{u"msgpost", u"to", u"msg", u"/Q"}, {.to_id = u"to", .msg_id = u"msg", .quiet = true}},
      {{u"msgpost", u"to", u"msg", u"5"}, {.to_id = u"to", .msg_id = u"msg", .iparam1 = 5}},
      {{u"msgpost", u"to", u"/T", u"250", u"msg"},
       {.to_id = u"to", .msg_id = u"msg", .timeout_ms = 250}},
      {{u"msgpost", u"/t", u"-1", u"to", u"msg"},
       {.to_id = u"to", .msg_id = u"msg", .timeout_ms = -1}},
      {{u"msgpost", u"/t", u"abc", u"to", u"msg"},
       {.to_id = u"to", .msg_id = u"msg", .timeout_ms = 0}},
      {{u"msgpost", u"a", u"b", u"1", u"-2", u"s", u"six", u"seven"},
       {.to_id = u"a", .msg_id = u"b", .iparam1 = 1, .iparam2 = -2, .sparam = u"s"}},
      {{u"msgpost", u"/f", u"/q", u"/r", u"/t", u"to", u"msg"},
       {.from_id = u"/q", .to_id = u"to", .msg_id = u"msg", .response_id = u"/t"}},
      {{u"msgpost", u"/r", u"first", u"/R", u"second", u"to", u"msg"},
       {.to_id = u"to", .msg_id = u"msg", .response_id = u"second"}},
      {{u"msgpost", u"/qq", u"to", u"msg"}, {.to_id = u"/qq", .msg_id = u"to", .iparam1 = 0}},
      {{u"msgpost", u"to", u"msg", u"/F", u"me"},
       {.from_id = u"me", .to_id = u"to", .msg_id = u"msg"}},
  };
  for (const auto& c : cases) {
    post_args got;
    ASSERT_TRUE(parse_args(c.args, &got)) << show(c.args);
    EXPECT_EQ(got.from_id, c.want.from_id) << show(c.args);
    EXPECT_EQ(got.to_id, c.want.to_id) << show(c.args);
    EXPECT_EQ(got.msg_id, c.want.msg_id) << show(c.args);
    EXPECT_EQ(got.iparam1, c.want.iparam1) << show(c.args);
    EXPECT_EQ(got.iparam2, c.want.iparam2) << show(c.args);
    EXPECT_EQ(got.quiet, c.want.quiet) << show(c.args);
    EXPECT_EQ(got.sparam, c.want.sparam) << show(c.args);
    EXPECT_EQ(got.response_id, c.want.response_id) << show(c.args);
    EXPECT_EQ(got.timeout_ms, c.want.timeout_ms) << show(c.args);
  }
}

TEST(args, refused_command_lines) {
  std::vector<std::u16string> cases[] = {
      {u"msgpost"},
      {u"msgpost", u"to", u"msg"},
      {u"msgpost", u"/q", u"to"},
      {u"msgpost", u"/q", u"/q", u"to"},
      {u"msgpost", u"to", u"msg", u"/t"},
      {u"msgpost", u"to", u"msg", u"/f"},
      {u"msgpost", u"to", u"msg", u"/r"},
      {u"msgpost", u"/t", u"5", u"to"},
  };
  for (const auto& args : cases) {
    post_args got;
    EXPECT_FALSE(parse_args(args, &got)) << show(args);
  }
}

TEST(args, defaults) {
  post_args a;
  EXPECT_EQ(a.from_id, u"msgpost.exe");
  EXPECT_EQ(a.timeout_ms, 0);
  EXPECT_TRUE(a.response_id.empty());
}

}  // namespace
}  // namespace msgpost
