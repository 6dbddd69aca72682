#include "scanner/engine/definitions_location.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <vector>

#include "scanner/testing.h"

namespace ferrox {
namespace {

TEST(locate_definitions, search_order) {
  scoped_temp_dir prog, sys, empty;
  const std::string program = prog.path() + "/ferrox64";
  const std::string sys_folder = sys.path() + "/";
  // Neither folder holds definitions: the program's folder anyway.
  EXPECT_EQ(locate_definitions_in("", program, sys_folder), prog.path() + "/");
  // The system folder answers when it holds them.
  sys.write("sigbase.def", "x");
  EXPECT_EQ(locate_definitions_in("", program, sys_folder), sys_folder);
  // The program's folder holding only the v2 file wins over the system folder.
  prog.write("sigbase-v2.def", "x");
  EXPECT_EQ(locate_definitions_in("", program, sys_folder), prog.path() + "/");
  // --deflocation= is returned unchanged; one character counts as absent.
  EXPECT_EQ(locate_definitions_in("/defs", program, sys_folder), "/defs");
  EXPECT_EQ(locate_definitions_in("x", program, sys_folder), prog.path() + "/");
  // No program path: nothing to offer.
  EXPECT_EQ(locate_definitions_in("", "", sys_folder), "");
  // A folder named like a definitions file counts: the test is for existence only.
  const std::string program2 = empty.path() + "/ferrox64";
  mkdir((empty.path() + "/sigbase.def").c_str(), 0700);
  EXPECT_EQ(locate_definitions_in("", program2, sys_folder), empty.path() + "/");
}

TEST(locate_definitions, program_without_separator_gets_one) {
  EXPECT_EQ(locate_definitions_in("", "ferrox64", "/nonexistent/"), "ferrox64/");
}

TEST(locate_definitions, concurrent_callers_agree) {
  std::vector<std::thread> threads;
  std::vector<std::string> seen(8);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] { seen[i] = locate_definitions("/defs/"); });
  for (auto& t : threads) t.join();
  for (const auto& s : seen) EXPECT_EQ(s, "/defs/");
}

}  // namespace
}  // namespace ferrox
