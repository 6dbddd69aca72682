#include "msgpost/client/send_message.h"

#include <gtest/gtest.h>

#include "hubwire/rpc/utf.h"

namespace msgpost {
namespace {

TEST(responder_pid, read_from_identity) {
  struct {
    std::u16string from;
    int32_t pid;
    bool skip;
  } cases[] = {
      {u"r@h:u.77", 77, false},
      {u"r@h:first.last.77", 0, false},
      {u"r@h:u.77x", 77, false},
      {u"r@h:u.", 0, true},
      {u"", 0, true},
      {u"r@h:u", 0, false},
      {u"no colon.5", 5, false},
      {u"r@h:u.-3", -3, false},
  };
  for (const auto& c : cases) {
    bool skip = false;
    EXPECT_EQ(responder_pid(c.from, &skip), c.pid) << rpc::utf16_to_utf8(c.from);
    EXPECT_EQ(skip, c.skip) << rpc::utf16_to_utf8(c.from);
  }
}

TEST(is_quit_name, cases) {
  EXPECT_TRUE(is_quit_name(u"x.Quit"));
  EXPECT_TRUE(is_quit_name(u"App.Quit"));
  EXPECT_FALSE(is_quit_name(u".Quit"));
  EXPECT_FALSE(is_quit_name(u"x.quit"));
  EXPECT_FALSE(is_quit_name(u"Quit"));
  EXPECT_FALSE(is_quit_name(u""));
}

}  // namespace
}  // namespace msgpost
