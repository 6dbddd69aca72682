#include "scanner/update/journal.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "scanner/platform/staging.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

using file_map = std::map<std::string, std::string>;

// Every file under `folder`, by its path relative to it.
file_map files_under(const std::string& folder) {
  file_map found;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    if (!e.is_directory())
      found[std::filesystem::relative(e.path(), folder).string()] =
          scoped_temp_dir::read(e.path().string());
  }
  return found;
}

const file_map kOld = {{"sigbase-v2.def", "old sig"}, {"qorvexcon-v2.def", "old con"}};
const file_map kNew = {{"sigbase-v2.def", "new sig"}, {"qorvexcon-v2.def", "new con"}};

TEST(journal, recovery_leaves_one_release_and_no_staging) {
  struct row {
    const char* name;
    file_map installed;  // the definitions folder before recovery, staging files included
    file_map expect;
  } rows[] = {
      {"nothing to do", kOld, kOld},
      {"staging without commit is discarded",
       {{"sigbase-v2.def", "old sig"},
        {"qorvexcon-v2.def", "old con"},
        {".fxupdate/sigbase-v2.def", "new sig"},
        {".fxupdate/.qorvexcon-v2.def.a1b2c3", "new c"},
        {".fxupdate/fxupd.x1y2z3", "zip"}},
       kOld},
      {"staged pair without commit is discarded",
       {{"sigbase-v2.def", "old sig"},
        {"qorvexcon-v2.def", "old con"},
        {".fxupdate/sigbase-v2.def", "new sig"},
        {".fxupdate/qorvexcon-v2.def", "new con"},
        {".fxupdate/.commit.abcdef", ""}},
       kOld},
      {"committed pair goes in",
       {{"sigbase-v2.def", "old sig"},
        {"qorvexcon-v2.def", "old con"},
        {".fxupdate/sigbase-v2.def", "new sig"},
        {".fxupdate/qorvexcon-v2.def", "new con"},
        {".fxupdate/commit", ""}},
       kNew},
      {"committed pair half in place is completed",
       {{"sigbase-v2.def", "new sig"},
        {"qorvexcon-v2.def", "old con"},
        {".fxupdate/qorvexcon-v2.def", "new con"},
        {".fxupdate/commit", ""}},
       kNew},
      {"committed pair all in place",
       {{"sigbase-v2.def", "new sig"}, {"qorvexcon-v2.def", "new con"}, {".fxupdate/commit", ""}},
       kNew},
      {"temporary files of an older install",
       {{"sigbase-v2.def", "old sig"},
        {"qorvexcon-v2.def", "old con"},
        {".sigbase-v2.def.Ab12Cd", "half"},
        {".qorvexcon-v2.def.zZ9yY8", "half"},
        {".sigbase-v2.def.toolong7", "kept"},
        {"notes.txt", "kept"}},
       {{"sigbase-v2.def", "old sig"},
        {"qorvexcon-v2.def", "old con"},
        {".sigbase-v2.def.toolong7", "kept"},
        {"notes.txt", "kept"}}},
  };
  for (const row& r : rows) {
    scoped_temp_dir dir;
    // The staging folder exists in every row: recovery removes it even when it is empty.
    std::filesystem::create_directory(dir.path() + "/.fxupdate");
    for (const auto& [name, content] : r.installed) dir.write(name, content);
    EXPECT_TRUE(recover_definitions(dir.path(), default_update_files())) << r.name;
    EXPECT_EQ(files_under(dir.path()), r.expect) << r.name;
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/.fxupdate")) << r.name;
  }
}

TEST(journal, staging_that_is_a_file_is_removed) {
  scoped_temp_dir dir;
  for (const auto& [name, content] : kOld) dir.write(name, content);
  dir.write(".fxupdate", "not a folder");
  EXPECT_TRUE(recover_definitions(dir.path() + "/", default_update_files()));
  EXPECT_EQ(files_under(dir.path()), kOld);
}

// The real file system, except that every replace into the definitions folder fails.
class stuck_files : public update_files {
 public:
  std::unique_ptr<output_file> create_unique(const std::string& prefix) override {
    return default_update_files().create_unique(prefix);
  }
  bool replace(const std::string& from, const std::string& to) override {
    if (to.find("/.fxupdate/") == std::string::npos) return false;
    return default_update_files().replace(from, to);
  }
  bool remove(const std::string& path) override { return default_update_files().remove(path); }
};

TEST(journal, failed_commit_is_completed_by_recovery) {
  scoped_temp_dir dir;
  for (const auto& [name, content] : kOld) dir.write(name, content);
  std::filesystem::create_directory(staging_folder(dir.path()));
  for (const auto& [name, content] : kNew) dir.write(".fxupdate/" + name, content);
  stuck_files stuck;
  EXPECT_FALSE(commit_staged_pair(dir.path(), stuck));
  // The record of the complete pair stays, and a recovery that cannot rename keeps it too.
  EXPECT_TRUE(std::filesystem::exists(staging_folder(dir.path()) + "commit"));
  EXPECT_FALSE(recover_definitions(dir.path(), stuck));
  EXPECT_TRUE(std::filesystem::exists(staging_folder(dir.path()) + "commit"));
  EXPECT_TRUE(recover_definitions(dir.path(), default_update_files()));
  EXPECT_EQ(files_under(dir.path()), kNew);
}

TEST(journal, commit_puts_the_pair_in_place) {
  scoped_temp_dir dir;
  for (const auto& [name, content] : kOld) dir.write(name, content);
  chmod((dir.path() + "/sigbase-v2.def").c_str(), 0640);
  std::filesystem::create_directory(staging_folder(dir.path()));
  for (const auto& [name, content] : kNew) dir.write(".fxupdate/" + name, content);
  EXPECT_TRUE(commit_staged_pair(dir.path() + "/", default_update_files()));
  EXPECT_EQ(files_under(dir.path()), kNew);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/.fxupdate"));
  struct stat st;
  ASSERT_EQ(stat((dir.path() + "/sigbase-v2.def").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(journal, a_run_leaves_the_staging_of_a_live_update_alone) {
  scoped_temp_dir dir;
  for (const auto& [name, content] : kOld) dir.write(name, content);
  std::filesystem::create_directory(staging_folder(dir.path()));
  dir.write(".fxupdate/fxupd.abcdef", "download in progress");
  {
    // The update's lock: another run neither waits for it nor touches the staging folder.
    const std::unique_ptr<folder_lock> held = lock_folder(dir.path(), 0);
    ASSERT_TRUE(held);
    EXPECT_FALSE(lock_folder(dir.path(), 100));
    recover_definitions_if_idle(dir.path());
    EXPECT_TRUE(std::filesystem::exists(dir.path() + "/.fxupdate/fxupd.abcdef"));
  }
  // Once the update is gone, so is what it left.
  recover_definitions_if_idle(dir.path());
  EXPECT_EQ(files_under(dir.path()), kOld);
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/.fxupdate"));
}

}  // namespace
}  // namespace ferrox
