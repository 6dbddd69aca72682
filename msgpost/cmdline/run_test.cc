#include "msgpost/cmdline/run.h"

#include <errno.h>
#include <gtest/gtest.h>

#include "msgpost/cmdline/args.h"
#include "msgpost/platform/message_box_fake.h"
#include "msgpost/platform/process_fake.h"
#include "msgpost/platform/service_manager_fake.h"

namespace msgpost {
namespace {

struct run_fixture : ::testing::Test {
  platform::message_box_fake box;
  platform::service_manager_fake services;
  platform::process_fake process;
  client_library lib{&services, &process};
  run_env env{&box, &lib, &process};
};

TEST_F(run_fixture, bad_command_line_shows_usage) {
  std::vector<std::u16string> args = {u"msgpost", u"to", u"msg"};
  EXPECT_EQ(run_msgpost(&args, env), -1);
  ASSERT_EQ(box.boxes.size(), 1u);
  EXPECT_EQ(box.boxes[0].caption, u"Help");
  EXPECT_EQ(box.boxes[0].text, usage_text);
  EXPECT_TRUE(services.opened.empty());  // nothing is sent
}

TEST_F(run_fixture, unsplittable_command_line_shows_usage) {
  EXPECT_EQ(run_msgpost(nullptr, env), -1);
  ASSERT_EQ(box.boxes.size(), 1u);
  EXPECT_EQ(box.boxes[0].caption, u"Help");
}

TEST_F(run_fixture, service_not_installed_is_minus_one) {
  services.open_error = ENOENT;
  std::vector<std::u16string> args = {u"msgpost", u"/q", u"to", u"msg"};
  EXPECT_EQ(run_msgpost(&args, env), -1);
  ASSERT_EQ(box.boxes.size(), 1u);
  EXPECT_FALSE(box.boxes[0].has_caption);
  EXPECT_EQ(box.boxes[0].text, u"Error code -1 (0xFFFFFFFF)");
  EXPECT_EQ(services.opened, std::vector<std::string>{"hubsvc"});
  EXPECT_EQ(services.queries, 0);
}

TEST_F(run_fixture, error_box_texts) {
  box.texts[5] = u"Access is denied.\r\n";
  struct {
    int32_t code;
    std::u16string text;
  } cases[] = {
      {-8, u"Error code -8 (0xFFFFFFF8)"},
      {-13, u"Error code -13 (0xFFFFFFF3)"},
      {0, u"Error code 0 (0x0)"},
      {5, u"Access is denied."},
      {-2147483647 - 1, u"Error code -2147483648 (0x80000000)"},
  };
  for (const auto& c : cases) {
    box.boxes.clear();
    EXPECT_EQ(show_error_box(&box, c.code), c.code);
    ASSERT_EQ(box.boxes.size(), 1u);
    EXPECT_FALSE(box.boxes[0].has_caption);
    EXPECT_EQ(box.boxes[0].text, c.text) << c.code;
  }
}

}  // namespace
}  // namespace msgpost
