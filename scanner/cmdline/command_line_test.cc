#include "scanner/cmdline/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "scanner/messages/strings.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

using o = scan_options;

struct parse_case {
  std::vector<std::string> args;  // after the program name
  bool parsed;
  std::vector<std::string> paths;
  std::optional<option_field> option;  // checked when set
  std::string value;                   // a value option's value, or "true"/"false" for a flag
};

std::string value_of(const scan_options& options, const option_field& field) {
  if (const auto* flag = std::get_if<bool scan_options::*>(&field))
    return options.*(*flag) ? "true" : "false";
  if (const auto* text = std::get_if<std::string scan_options::*>(&field)) return options.*(*text);
  std::string joined;
  for (const auto& v : options.*std::get<std::vector<std::string> scan_options::*>(field))
    joined += (joined.empty() ? "" : "|") + v;
  return joined;
}

class params_test : public ::testing::Test {
 protected:
  parsed_command_line make(const std::vector<std::string>& args) const {
    return parse_args(args, catalogue_);
  }
  const strings catalogue_;
};

TEST_F(params_test, table_of_command_lines) {
  const parse_case cases[] = {
      {{}, true, {}, &o::report, ""},
      {{"-l", "X"}, true, {}, &o::report, "X"},
      {{"-lX"}, true, {}, &o::report, "X"},
      {{"--report=X"}, true, {}, &o::report, "X"},
      {{"--report=", "X"}, true, {}, &o::report, "X"},
      {{"--report"}, false, {}, &o::report, ""},
      {{"-l"}, false, {}, &o::verbose, "false"},
      {{"-l", "-V"}, true, {}, &o::report, "-V"},
      {{"-l", "-V"}, true, {}, &o::verbose, "false"},
      {{"--report=A", "--report=B"}, true, {}, &o::report, "B"},
      {{"--exclude-ext=A", "--exclude-ext=B"}, true, {}, &o::exclude_exts, "A|B"},
      {{"--VERBOSE"}, false, {}, &o::verbose, "false"},
      {{"--Help"}, false, {}, &o::help, "false"},
      {{"--verbose=1"}, false, {}, &o::verbose, "false"},
      {{"-V", "--list", "--verbose"}, true, {}, &o::verbose, "true"},
      {{"A", "-V", "B"}, true, {"A", "B"}, &o::verbose, "true"},
      {{""}, true, {""}, {}, ""},
      {{"--bogus", "A", "-V"}, false, {"A"}, &o::verbose, "true"},
      {{"-A"}, true, {}, &o::heur_high, "true"},
      {{"--all"}, true, {}, &o::heur_high, "true"},
      {{"--nocom"}, false, {}, {}, ""},
      {{"-s", "-S"}, true, {}, &o::syslog, "true"},
      {{"-a"}, true, {}, &o::heur_high, "false"},
      {{"-fX", "-F"}, true, {}, &o::list_file, "X"},
      {{"--archive=", ""}, false, {""}, &o::archive, "5"},
      {{"-v"}, true, {}, &o::verbose, "false"},
      {{"--macro-remove-allifany", "--noffc"}, true, {}, &o::macro_remove_all_if_any, "true"},
  };
  for (const parse_case& c : cases) {
    std::string line;
    for (const auto& a : c.args) line += "[" + a + "]";
    const parsed_command_line p = make(c.args);
    EXPECT_EQ(p.ok, c.parsed) << line;
    EXPECT_EQ(p.options.paths, c.paths) << line;
    if (!c.option) continue;
    if (c.parsed)
      EXPECT_EQ(value_of(p.options, *c.option), c.value) << line;
    else
      EXPECT_TRUE(p.usage) << line;
  }
}

TEST_F(params_test, defaults_and_kind_checks) {
  const parsed_command_line p = make({});
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.options.archive, "5");
  EXPECT_EQ(p.options.limit_memory, "0");
  EXPECT_EQ(p.options.deftype, "v2");
  EXPECT_FALSE(p.options.verbose);
  EXPECT_FALSE(p.usage);
  // Every name of the table is in the catalogue, and no two options share one.
  std::set<std::string> names;
  for (const option_row& row : option_table())
    for (message_id id : row.names) {
      EXPECT_NE(catalogue_.get(id), "") << id;
      EXPECT_TRUE(names.insert(catalogue_.get(id)).second) << id;
    }
}

// The help text stays a catalogue message (its layout groups options its own way), so this ties
// it to the option table: every option the help lists is one the parser takes, and back.
TEST_F(params_test, help_text_and_option_table_name_the_same_options) {
  std::set<std::string> in_help;
  std::istringstream help(catalogue_.get(kMsgHelpText));
  for (std::string line; std::getline(help, line);) {
    if (line.rfind("        -", 0) != 0) continue;  // an entry starts at the eighth column
    std::string names = line.substr(8, line.find_first_of(" \t", 8) - 8);
    for (size_t at = 0; at <= names.size();) {
      size_t comma = std::min(names.find(',', at), names.size());
      std::string name = names.substr(at, comma - at);
      if (size_t eq = name.find('='); eq != std::string::npos) name.resize(eq + 1);
      in_help.insert(name);
      at = comma + 1;
    }
  }
  std::set<std::string> in_table;
  for (const option_row& row : option_table())
    for (message_id id : row.names) in_table.insert(catalogue_.get(id));
  std::set<std::string> only_help, only_table;
  std::ranges::set_difference(in_help, in_table, std::inserter(only_help, only_help.end()));
  std::ranges::set_difference(in_table, in_help, std::inserter(only_table, only_table.end()));
  EXPECT_EQ(only_help, std::set<std::string>{});
  // Options the help has never shown: engine tuning and the process dump and scan tools.
  const std::set<std::string> unlisted = {"--apkquick",
                                          "--deflocation=",
                                          "--dumpProcessAndModulesMemImage=",
                                          "--dumpProcessHeaps=",
                                          "--dumpProcessList",
                                          "--dumpProcessOnlyMemImage=",
                                          "--noffc",
                                          "--nowhite",
                                          "--scanProcess=",
                                          "--scanProcessHeaps="};
  EXPECT_EQ(only_table, unlisted);
}

TEST_F(params_test, help_is_requested_by_every_name) {
  for (const char* name : {"--help", "-h", "-?"}) EXPECT_TRUE(make({name, "-V"}).usage);
}

TEST_F(params_test, settings_summary_lists_every_option_in_order) {
  const parsed_command_line p =
      make({"--show-settings", "--exclude-ext=a", "--exclude-ext=b", "-l", "r.txt"});
  std::ostringstream out;
  print_settings(p.options, out, catalogue_);
  const std::string s = out.str();
  EXPECT_EQ(s.rfind("--help false\n--version false\n", 0), 0u) << s;
  EXPECT_NE(s.find("--report=r.txt\n"), std::string::npos);
  EXPECT_NE(s.find("--norecurse false\n--heur-high false\n--noarchive false\n--archive=5\n"),
            std::string::npos);
  EXPECT_NE(s.find("--exclude-ext=a, b\n"), std::string::npos);
  EXPECT_NE(s.find("--limit-memory=0\n"), std::string::npos);
  EXPECT_NE(s.find("--deftype=v2\n"), std::string::npos);
  std::ostringstream none;
  print_settings(make({}).options, none, catalogue_);
  EXPECT_EQ(none.str(), "");
}

TEST_F(params_test, huge_and_odd_command_lines_do_not_break_the_store) {
  std::vector<std::string> args(1000, "-V");
  args.push_back(std::string(100000, 'p'));
  args.push_back("\xff\xfe\x80");
  const parsed_command_line p = make(args);
  EXPECT_TRUE(p.ok);
  ASSERT_EQ(p.options.paths.size(), 2u);
  EXPECT_EQ(p.options.paths[1], "\xff\xfe\x80");
}

TEST_F(params_test, concurrent_queries_agree_and_change_nothing) {
  const parsed_command_line p = make({"--show-settings", "-l", "r.txt", "--exclude-ext=a", "x"});
  std::ostringstream before;
  print_settings(p.options, before, catalogue_);
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        std::ostringstream summary;
        print_settings(p.options, summary, catalogue_);
        if (summary.str() != before.str()) ++bad[t];
        if (!p.options.show_settings || p.options.report != "r.txt") ++bad[t];
        if (p.options.exclude_exts.size() != 1) ++bad[t];
      }
    });
  for (auto& th : threads) th.join();
  for (int b : bad) EXPECT_EQ(b, 0);
  std::ostringstream after;
  print_settings(p.options, after, catalogue_);
  EXPECT_EQ(before.str(), after.str());
}

TEST(params_no_catalogue, store_stays_unparsed) {
  const message_row rows[] = {{1, "a"}, {1, "b"}};  // a catalogue that is not ready
  const strings broken(rows, 2);
  const char* argv[] = {"ferrox64", "-V"};
  const parsed_command_line p = parse_command_line(2, argv, broken);
  EXPECT_FALSE(p.ok);
  EXPECT_FALSE(p.options.verbose);
}

}  // namespace
}  // namespace ferrox
