#include "scanner/logging/cli_logging.h"

#include <gtest/gtest.h>

#include "scanner/platform/system_log.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

TEST(cli_logging, report_gets_what_passes_the_filter) {
  scoped_temp_dir dir;
  const std::string report = dir.path() + "/r.txt";
  {
    cli_logging log({.report_file = report});
    ASSERT_TRUE(log.ready());
    ASSERT_NE(log.report_stream(), nullptr);
    EXPECT_TRUE(log.log_message(0, "hidden\n"));
    testing::internal::CaptureStderr();
    log.log_message(3, "error\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "error\n");
    testing::internal::CaptureStdout();
    log.log_message(1, "one ");
    log.log_message(2, "two\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "one two\n");
  }
  EXPECT_EQ(scoped_temp_dir::read(report), "error\none two\n");
}

TEST(cli_logging, append_keeps_old_content_and_verbose_writes_level_zero) {
  scoped_temp_dir dir;
  const std::string report = dir.write("r.txt", "old\n");
  {
    cli_logging log({.report_file = report, .append = true, .verbose = true});
    testing::internal::CaptureStdout();
    log.log_message(0, "new\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "new\n");
  }
  EXPECT_EQ(scoped_temp_dir::read(report), "old\nnew\n");
}

TEST(cli_logging, report_in_missing_folder_is_not_ready) {
  cli_logging log({.report_file = "/nonexistent/dir/r.txt"});
  EXPECT_FALSE(log.ready());
  EXPECT_FALSE(log.log_message(1, "x"));
  EXPECT_FALSE(log.progress_tick());
}

TEST(cli_logging, progress_dot_every_hundredth_tick) {
  cli_logging log({});
  testing::internal::CaptureStdout();
  for (int i = 0; i < 99; ++i) log.progress_tick();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  testing::internal::CaptureStdout();
  for (int i = 0; i < 151; ++i) log.progress_tick();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "..");
}

TEST(system_log, one_record_per_message) {
  const struct {
    const char* text;
    const char* record;
  } cases[] = {
      {"prog: \nBasic Memory Scan: Failed\n", "prog: Basic Memory Scan: Failed"},
      {"\n\n", ""},
      {"Found:  /a     Exact detection of Virus infection named X\n",
       "Found:  /a     Exact detection of Virus infection named X"},
      {"a  \n\nb", "a b"},
  };
  for (const auto& c : cases) EXPECT_EQ(system_log_record(c.text), c.record) << c.text;
}

}  // namespace
}  // namespace ferrox
