#include "scanner/platform/user_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <set>

#include "scanner/platform/update_files.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

// Sets or unsets one environment variable for the life of a test, then puts it back.
class scoped_env {
 public:
  scoped_env(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~scoped_env() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

mode_t mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST(user_folder, data_home_rules) {
  scoped_temp_dir dir;
  const std::string home = dir.path() + "/home";
  const std::string data = dir.path() + "/data/deep";
  const std::string data_slashes = data + "//";
  struct row {
    const char* data_home;
    const char* home;
    std::string expect;
  } rows[] = {
      {data.c_str(), home.c_str(), data},
      {data_slashes.c_str(), home.c_str(), data},  // trailing "/" dropped
      {"relative/data", home.c_str(), home + "/.local/share"},
      {"", home.c_str(), home + "/.local/share"},
      {nullptr, home.c_str(), home + "/.local/share"},
  };
  for (const row& r : rows) {
    const std::string label = std::string("XDG_DATA_HOME=") + (r.data_home ? r.data_home : "unset");
    scoped_env x("XDG_DATA_HOME", r.data_home);
    scoped_env h("HOME", r.home);
    std::string out;
    ASSERT_TRUE(default_user_folder().local_data_folder(out)) << label;
    EXPECT_EQ(out, r.expect) << label;
    EXPECT_EQ(mode_of(out), 0700u) << label;
  }
}

TEST(user_folder, existing_folders_keep_their_mode) {
  scoped_temp_dir dir;
  chmod(dir.path().c_str(), 0755);
  scoped_env x("XDG_DATA_HOME", dir.path().c_str());
  std::string out;
  ASSERT_TRUE(default_user_folder().local_data_folder(out));
  EXPECT_EQ(out, dir.path());
  EXPECT_EQ(mode_of(out), 0755u);
}

TEST(user_folder, file_in_the_way_fails) {
  scoped_temp_dir dir;
  dir.write("file", "x");
  scoped_env x("XDG_DATA_HOME", (dir.path() + "/file/share").c_str());
  std::string out;
  EXPECT_FALSE(default_user_folder().local_data_folder(out));
}

TEST(update_files, create_unique_gives_private_new_files) {
  scoped_temp_dir dir;
  update_files& files = default_update_files();
  std::set<std::string> names;
  for (int i = 0; i < 3; ++i) {
    std::unique_ptr<output_file> f = files.create_unique(dir.path() + "/.x.");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->path().rfind(dir.path() + "/.x.", 0), 0u);
    EXPECT_EQ(mode_of(f->path()), 0600u);
    ASSERT_TRUE(f->write("abc", 3));
    ASSERT_TRUE(f->finish(true));
    EXPECT_FALSE(f->finish(true));  // closed once only
    EXPECT_EQ(scoped_temp_dir::read(f->path()), "abc");
    names.insert(f->path());
  }
  EXPECT_EQ(names.size(), 3u);
  EXPECT_FALSE(files.create_unique(dir.path() + "/missing/.x."));
}

TEST(update_files, replace_takes_the_old_mode_and_remove_tolerates_missing) {
  scoped_temp_dir dir;
  update_files& files = default_update_files();
  const std::string target = dir.write("target", "old");
  chmod(target.c_str(), 0640);
  const std::string tmp = dir.write("tmp", "new");
  ASSERT_TRUE(files.replace(tmp, target));
  EXPECT_EQ(scoped_temp_dir::read(target), "new");
  EXPECT_EQ(mode_of(target), 0640u);
  const std::string tmp2 = dir.write("tmp2", "fresh");
  chmod(tmp2.c_str(), 0600);
  ASSERT_TRUE(files.replace(tmp2, dir.path() + "/fresh"));
  EXPECT_EQ(mode_of(dir.path() + "/fresh"), 0644u);
  EXPECT_FALSE(files.replace(dir.path() + "/none", target));
  EXPECT_TRUE(files.remove(tmp2));  // already gone
  EXPECT_TRUE(files.remove(target));
  EXPECT_FALSE(std::ifstream(target).is_open());
}

}  // namespace
}  // namespace ferrox
