#include "msgpost/client/identity.h"

#include <gtest/gtest.h>

#include <thread>

#include "msgpost/platform/process_fake.h"

namespace msgpost {
namespace {

TEST(identity, gathered_by_the_first_user_in_lower_case) {
  platform::process_fake process;
  process.user = u"Anna.B";
  process.computer = u"Box.Example.ORG";
  process.module = u"MsgPost";
  process.pid = 77;
  identity_registry reg(&process);
  EXPECT_EQ(reg.acquire(), 1);
  EXPECT_EQ(reg.acquire(), 2);
  EXPECT_EQ(reg.data().user, u"anna.b");
  EXPECT_EQ(reg.data().computer, u"box.example.org");
  EXPECT_EQ(reg.data().module, u"msgpost");
  EXPECT_EQ(reg.data().process_id, 77);
  EXPECT_EQ(reg.release(), 1);
  EXPECT_EQ(reg.release(), 0);
  EXPECT_EQ(reg.release(), 0);  // never negative
}

TEST(identity, lowering_is_ascii_only) { EXPECT_EQ(ascii_lower(u"ÄBC-Z\u0130"), u"Äbc-z\u0130"); }

TEST(identity, client_identity_form) {
  identity_data d{u"user", u"host.example", 1234, u"msgpost"};
  std::u16string id;
  std::u16string from = u"msgpost.exe";
  ASSERT_TRUE(build_client_identity(d, &from, &id));
  EXPECT_EQ(id, u"msgpost.exe@host.example:user.1234");
  ASSERT_TRUE(build_client_identity(d, nullptr, &id));
  EXPECT_EQ(id, u"msgpost@host.example:user.1234");
}

TEST(identity, client_identity_must_fit_1024_units) {
  identity_data d{u"u", u"h", 5, u"m"};
  // "@h:u.5" is 6 units: 1017 + 6 = 1023 units and the terminator fit.
  std::u16string from(1017, u'f');
  std::u16string id;
  ASSERT_TRUE(build_client_identity(d, &from, &id));
  EXPECT_EQ(id.size(), 1023u);
  from.push_back(u'f');
  id = u"unchanged";
  EXPECT_FALSE(build_client_identity(d, &from, &id));
  EXPECT_EQ(id, u"unchanged");
}

TEST(identity, later_user_waits_for_the_first) {
  platform::process_fake process;
  identity_registry reg(&process);
  ASSERT_EQ(reg.acquire(), 1);
  int32_t second = 0;
  std::thread t([&] { second = reg.acquire(); });
  t.join();
  EXPECT_EQ(second, 2);
}

}  // namespace
}  // namespace msgpost
