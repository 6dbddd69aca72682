#include "scanner/cmdline/params.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "scanner/messages/strings.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

struct parse_case {
  std::vector<std::string> args;  // after the program name
  bool parsed;
  std::vector<std::string> paths;
  option_id option;   // checked when >= 0
  std::string value;  // a value option's value, or "true"/"false" for a flag
};

std::string value_of(const params& p, option_id id) {
  bool flag;
  std::string s;
  if (p.get_flag(id, flag)) return flag ? "true" : "false";
  if (p.get_string(id, s)) return s;
  std::vector<std::string> list;
  if (p.get_list(id, list)) {
    std::string joined;
    for (const auto& v : list) joined += (joined.empty() ? "" : "|") + v;
    return joined;
  }
  return "<unreadable>";
}

class params_test : public ::testing::Test {
 protected:
  void SetUp() override { g_strings = new strings(); }
  void TearDown() override {
    delete g_strings;
    g_strings = nullptr;
  }
  static params make(const std::vector<std::string>& args) {
    std::vector<const char*> argv = {"ferrox64"};
    for (const auto& a : args) argv.push_back(a.c_str());
    return params(static_cast<int>(argv.size()), argv.data());
  }
};

TEST_F(params_test, table_of_command_lines) {
  const parse_case cases[] = {
      {{}, true, {}, kOptReport, ""},
      {{"-l", "X"}, true, {}, kOptReport, "X"},
      {{"-lX"}, true, {}, kOptReport, "X"},
      {{"--report=X"}, true, {}, kOptReport, "X"},
      {{"--report=", "X"}, true, {}, kOptReport, "X"},
      {{"--report"}, false, {}, kOptReport, ""},
      {{"-l"}, false, {}, kOptVerbose, "false"},
      {{"-l", "-V"}, true, {}, kOptReport, "-V"},
      {{"-l", "-V"}, true, {}, kOptVerbose, "false"},
      {{"--report=A", "--report=B"}, true, {}, kOptReport, "B"},
      {{"--exclude-ext=A", "--exclude-ext=B"}, true, {}, kOptExcludeExt, "A|B"},
      {{"--VERBOSE"}, false, {}, kOptVerbose, "false"},
      {{"--Help"}, false, {}, kOptHelp, "false"},
      {{"--verbose=1"}, false, {}, kOptVerbose, "false"},
      {{"-V", "--list", "--verbose"}, true, {}, kOptVerbose, "true"},
      {{"A", "-V", "B"}, true, {"A", "B"}, kOptVerbose, "true"},
      {{""}, true, {""}, -1, ""},
      {{"--bogus", "A", "-V"}, false, {"A"}, kOptVerbose, "true"},
      {{"-A"}, true, {}, kOptHeurHigh, "true"},
      {{"--all"}, true, {}, kOptHeurHigh, "true"},
      {{"--nocom"}, false, {}, -1, ""},
      {{"-s", "-S"}, true, {}, kOptSyslog, "true"},
      {{"-a"}, true, {}, kOptHeurHigh, "false"},
      {{"-fX", "-F"}, true, {}, kOptFile, "X"},
      {{"--archive=", ""}, false, {""}, kOptArchive, "5"},
      {{"-v"}, true, {}, kOptVerbose, "false"},
      {{"--macro-remove-allifany", "--noffc"}, true, {}, kOptMacroRemoveAllIfAny, "true"},
  };
  for (const parse_case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += "[" + a + "]";
    params p = make(c.args);
    EXPECT_EQ(p.parsed(), c.parsed) << line;
    std::vector<std::string> paths;
    p.get_paths(paths);
    EXPECT_EQ(paths, c.paths) << line;
    if (c.option < 0) continue;
    if (c.parsed) {
      EXPECT_EQ(value_of(p, c.option), c.value) << line;
    } else {
      EXPECT_TRUE(p.help_requested()) << line;
      EXPECT_EQ(value_of(p, c.option), "<unreadable>") << line;
    }
  }
}

TEST_F(params_test, defaults_and_kind_checks) {
  params p = make({});
  std::string s;
  bool b = true;
  EXPECT_TRUE(p.get_string(kOptArchive, s) && s == "5");
  EXPECT_TRUE(p.get_string(kOptLimitMemory, s) && s == "0");
  EXPECT_TRUE(p.get_string(kOptDefType, s) && s == "v2");
  EXPECT_FALSE(p.get_flag(kOptReport, b));
  EXPECT_TRUE(b);  // untouched
  EXPECT_FALSE(p.get_string(kOptVerbose, s));
  EXPECT_FALSE(p.get_flag(53, b));  // not registered, and the lookup must not register it
  EXPECT_FALSE(p.get_flag(53, b));
  EXPECT_FALSE(p.help_requested());
}

TEST_F(params_test, help_is_requested_by_every_name) {
  for (const char* name : {"--help", "-h", "-?"}) EXPECT_TRUE(make({name, "-V"}).help_requested());
}

TEST_F(params_test, settings_summary_lists_every_option_in_order) {
  params p = make({"--show-settings", "--exclude-ext=a", "--exclude-ext=b", "-l", "r.txt"});
  std::ostringstream out;
  p.print_settings(out);
  const std::string s = out.str();
  EXPECT_EQ(s.rfind("--help false\n--version false\n", 0), 0u) << s;
  EXPECT_NE(s.find("--report=r.txt\n"), std::string::npos);
  EXPECT_NE(s.find("--norecurse false\n--heur-high false\n--noarchive false\n--archive=5\n"),
            std::string::npos);
  EXPECT_NE(s.find("--exclude-ext=a, b\n"), std::string::npos);
  EXPECT_NE(s.find("--limit-memory=0\n"), std::string::npos);
  EXPECT_NE(s.find("--deftype=v2\n"), std::string::npos);
  std::ostringstream none;
  make({}).print_settings(none);
  EXPECT_EQ(none.str(), "");
}

TEST_F(params_test, huge_and_odd_command_lines_do_not_break_the_store) {
  std::vector<std::string> args(1000, "-V");
  args.push_back(std::string(100000, 'p'));
  args.push_back("\xff\xfe\x80");
  params p = make(args);
  EXPECT_TRUE(p.parsed());
  std::vector<std::string> paths;
  p.get_paths(paths);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[1], "\xff\xfe\x80");
}

TEST_F(params_test, concurrent_queries_agree_and_change_nothing) {
  params p = make({"--show-settings", "-l", "r.txt", "--exclude-ext=a", "x"});
  std::ostringstream before;
  p.print_settings(before);
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        bool flag = false;
        std::string value;
        std::vector<std::string> list;
        if (!p.get_flag(kOptShowSettings, flag) || !flag) ++bad[t];
        if (!p.get_string(kOptReport, value) || value != "r.txt") ++bad[t];
        if (!p.get_list(kOptExcludeExt, list) || list.size() != 1) ++bad[t];
        if (p.get_flag(i % 2 ? 53 : 59 + i % 7, flag)) ++bad[t];  // numbers nobody registered
      }
    });
  for (auto& th : threads) th.join();
  for (int b : bad) EXPECT_EQ(b, 0);
  std::ostringstream after;
  p.print_settings(after);
  EXPECT_EQ(before.str(), after.str());
}

TEST(params_no_catalogue, store_stays_unparsed) {
  const char* argv[] = {"ferrox64", "-V"};
  params p(2, argv);
  EXPECT_FALSE(p.parsed());
  bool b;
  EXPECT_FALSE(p.get_flag(kOptVerbose, b));
}

}  // namespace
}  // namespace ferrox
