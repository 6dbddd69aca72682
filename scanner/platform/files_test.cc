#include "scanner/platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "scanner/platform/process.h"
#include "scanner/scan/detection_actions.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

TEST(files, existence_sees_links_and_folders_through_links) {
  scoped_temp_dir dir;
  file_system& fs = default_file_system();
  const std::string file = dir.write("f", "x");
  symlink("missing", (dir.path() + "/dangling").c_str());
  symlink(dir.path().c_str(), (dir.path() + "/dirlink").c_str());
  EXPECT_TRUE(fs.exists(file));
  EXPECT_FALSE(fs.is_directory(file));
  EXPECT_TRUE(fs.exists(dir.path() + "/dangling"));
  EXPECT_FALSE(fs.is_directory(dir.path() + "/dangling"));
  EXPECT_TRUE(fs.is_directory(dir.path() + "/dirlink"));
  EXPECT_FALSE(fs.exists(dir.path() + "/nothing"));
  EXPECT_FALSE(fs.exists(file + "/below-a-file"));
}

TEST(files, copy_replaces_and_move_never_does) {
  scoped_temp_dir src, dst;
  file_system& fs = default_file_system();
  const std::string file = src.write("a.exe", "payload");
  chmod(file.c_str(), 04755);
  dst.write("a.exe", "old");
  EXPECT_TRUE(copy_to_folder(file, dst.path(), fs));
  EXPECT_EQ(scoped_temp_dir::read(dst.path() + "/a.exe"), "payload");
  struct stat st;
  ASSERT_EQ(stat((dst.path() + "/a.exe").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0755u);  // no set-id bit on a copy
  // A destination that exists stops the move and leaves both files.
  EXPECT_FALSE(move_to_folder(file, dst.path(), fs));
  EXPECT_TRUE(fs.exists(file));
  unlink((dst.path() + "/a.exe").c_str());
  EXPECT_TRUE(move_to_folder(file, dst.path(), fs));
  EXPECT_FALSE(fs.exists(file));
  EXPECT_EQ(scoped_temp_dir::read(dst.path() + "/a.exe"), "payload");
}

TEST(files, failures_touch_nothing) {
  scoped_temp_dir dir;
  file_system& fs = default_file_system();
  const std::string file = dir.write("b", "data");
  EXPECT_FALSE(copy_to_folder(file, dir.path() + "/missing", fs));
  EXPECT_FALSE(move_to_folder(file, dir.path() + "/missing", fs));
  EXPECT_FALSE(copy_to_folder("no-separator", dir.path(), fs));
  EXPECT_FALSE(move_to_folder("no-separator", dir.path(), fs));
  EXPECT_FALSE(fs.copy_replace(file, file));  // onto itself
  EXPECT_EQ(scoped_temp_dir::read(file), "data");
}

TEST(process, module_path_names_this_program) {
  std::string path;
  ASSERT_TRUE(module_path(path));
  EXPECT_EQ(path.substr(path.rfind('/') + 1), "ferrox_test");
}

}  // namespace
}  // namespace ferrox
