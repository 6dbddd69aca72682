#include "scanner/messages/strings.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace ferrox {
namespace {

TEST(strings, texts_are_byte_exact) {
  strings s;
  ASSERT_TRUE(s.ready());
  EXPECT_EQ(s.get(1), "Velmora Command Line Scanner for");
  const std::string help = s.get(1020);
  EXPECT_EQ(help.size(), 4203u);
  EXPECT_EQ(help.back(), '\n');
  EXPECT_NE(help.find("instead of disinfected. \n"), std::string::npos);
  EXPECT_EQ(s.get(113).front(), '\n');
  EXPECT_EQ(s.get(4506), "Updated to ");
  EXPECT_EQ(s.get(1102), "--nocom");
  EXPECT_EQ(s.get(165),
            "\nDump Process List: SUCCESS (Result in \"auth_log.txt\" in User \"TEMP\" folder)");
}

TEST(strings, missing_numbers_are_empty) {
  strings s;
  for (message_id id : {0, -1, 205, 109, 21, 1063, 99999}) EXPECT_EQ(s.get(id), "") << id;
}

TEST(strings, statistics_labels_line_up) {
  strings s;
  for (message_id id : {134, 136, 138, 140, 142, 144, 156, 158, 160, 162, 174})
    EXPECT_EQ(s.get(id).size(), 22u) << id;
  EXPECT_EQ(s.get(134).substr(10), std::string(12, ' '));
}

TEST(strings, duplicate_rows_leave_catalogue_not_ready) {
  const message_row rows[] = {{1, "a"}, {2, "b"}, {1, "c"}};
  strings s(rows, 3);
  EXPECT_FALSE(s.ready());
  EXPECT_EQ(s.get(2), "");
}

TEST(strings, concurrent_reads_agree) {
  strings s;
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i)
        if (s.get(212) != "Found: " || s.get(205) != "") ++bad[t];
    });
  for (auto& th : threads) th.join();
  for (int b : bad) EXPECT_EQ(b, 0);
}

}  // namespace
}  // namespace ferrox
