#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/platform/folders.h"

namespace common {
namespace {

struct folders_fixture : ::testing::Test {
  std::string root;
  mode_t old_umask = umask(022);

  folders_fixture() {
    std::string templ = (std::filesystem::temp_directory_path() / "common_test.XXXXXX").string();
    root = mkdtemp(templ.data()) != nullptr ? templ : "";
  }
  ~folders_fixture() override {
    std::filesystem::remove_all(root);
    umask(old_umask);
  }
  mode_t mode_of(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
  }
  void make_file(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
  }
};

TEST_F(folders_fixture, makes_the_missing_folders_and_keeps_existing_modes) {
  ASSERT_FALSE(root.empty());
  ASSERT_EQ(chmod(root.c_str(), 0711), 0);
  std::string failed = "stale";
  ASSERT_TRUE(make_folders(root + "/a/b/c", 0750, &failed));
  EXPECT_EQ(failed, "");
  EXPECT_EQ(mode_of(root), 0711u);
  EXPECT_EQ(mode_of(root + "/a"), 0750u);
  EXPECT_EQ(mode_of(root + "/a/b/c"), 0750u);
  // Again, with a trailing slash and a mode the umask cuts: nothing changes, still a success.
  EXPECT_TRUE(make_folders(root + "/a/b/c/", 0777));
  EXPECT_EQ(mode_of(root + "/a/b/c"), 0750u);
  EXPECT_TRUE(make_folders(root + "/a/d", 0777));
  EXPECT_EQ(mode_of(root + "/a/d"), 0755u);
}

TEST_F(folders_fixture, names_what_stood_in_the_way) {
  ASSERT_FALSE(root.empty());
  make_file(root + "/file");
  struct {
    std::string path;
    std::string failed;  // empty: the path itself is no folder
  } cases[] = {
      {root + "/file/below", root + "/file/below"},
      {root + "/file", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string failed = "stale";
    errno = 0;
    EXPECT_FALSE(make_folders(c.path, 0700, &failed)) << c.path;
    EXPECT_EQ(errno, ENOTDIR) << c.path;
    EXPECT_EQ(failed, c.failed) << c.path;
  }
}

}  // namespace
}  // namespace common
