// The folder walk through the C entry points: recursion, links, exclusions, special files and
// the sizes a hostile tree can reach.
#include "qorvex/src/folder_walk.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>

#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

class FolderWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    compile_into(test_source(), defs_.path());
    session_ = std::make_unique<engine_session>(defs_.path());
    ASSERT_EQ(QVX_R_SUCCESS, session_->create_result());
    root_ = files_ / "root";
  }
  // The objects reported as detected, as paths below root_, in event order.
  std::vector<std::string> found(int32_t flags = 2 | 8) {
    EXPECT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_SCAN_FLAGS, flags));
    session_->events.clear();
    result_ = session_->run(QVX_CMD_SCAN_FOLDER, root_);
    std::vector<std::string> out;
    for (const std::string& e : session_->events) {
      if (e.rfind("512 6 ", 0) == 0) out.push_back(e.substr(6 + root_.size() + 1));
    }
    return out;
  }

  scoped_temp_dir defs_, files_;
  std::unique_ptr<engine_session> session_;
  std::string root_;
  int32_t result_ = 0;
};

using names = std::vector<std::string>;

TEST_F(FolderWalkTest, WalksInNameOrderAndRecursesOnlyWhenAsked) {
  write_file(root_ + "/b.txt", kVirusText);
  write_file(root_ + "/a/x.txt", kVirusText);
  write_file(root_ + "/a/deeper/y.txt", kVirusText);
  write_file(root_ + "/c.txt", "clean");
  EXPECT_EQ((names{"a/deeper/y.txt", "a/x.txt", "b.txt"}), found());
  EXPECT_EQ(QVX_R_DETECTED, result_);
  EXPECT_EQ((names{"b.txt"}), found(2));
  EXPECT_EQ(6u, session_->counter(QVX_P_FILES_PROCESSED));  // 4 files, then 2
}

TEST_F(FolderWalkTest, CleanFolderAndTrailingSlash) {
  write_file(root_ + "/c.txt", "clean");
  write_file(root_ + "/e.txt", "");
  EXPECT_TRUE(found().empty());
  EXPECT_EQ(QVX_R_SUCCESS, result_);
  session_->events.clear();
  EXPECT_EQ(QVX_R_SUCCESS, session_->run(QVX_CMD_SCAN_FOLDER, root_ + "/"));
  EXPECT_EQ((std::vector<std::string>{"32 0 " + root_ + "/c.txt", "32 0 " + root_ + "/e.txt"}),
            session_->events);
}

TEST_F(FolderWalkTest, LinksAreFollowedOnlyWithTheFlagAndNeverLoop) {
  write_file(files_ / "outside/o.txt", kVirusText);
  write_file(root_ + "/in.txt", kVirusText);
  ASSERT_EQ(0, symlink((files_ / "outside").c_str(), (root_ + "/to-dir").c_str()));
  ASSERT_EQ(0, symlink((files_ / "outside/o.txt").c_str(), (root_ + "/to-file").c_str()));
  ASSERT_EQ(0, symlink(root_.c_str(), (root_ + "/loop").c_str()));
  ASSERT_EQ(0, symlink("self", (root_ + "/self").c_str()));
  ASSERT_EQ(0, symlink("nowhere", (root_ + "/dangling").c_str()));
  EXPECT_EQ((names{"in.txt"}), found());
  EXPECT_EQ((names{"in.txt", "to-dir/o.txt", "to-file"}), found(2 | 8 | 16));
}

TEST_F(FolderWalkTest, Exclusions) {
  write_file(root_ + "/keep.txt", kVirusText);
  write_file(root_ + "/skip.exe", kVirusText);
  write_file(root_ + "/UPPER.EXE", kVirusText);
  write_file(root_ + "/named.txt", kVirusText);
  write_file(root_ + "/cache/c.txt", kVirusText);
  write_file(root_ + "/sub/cache/d.txt", kVirusText);
  write_file(root_ + "/sub/full/e.txt", kVirusText);
  session_->set_text(QVX_P_EXCLUDE_EXT, ".exe");
  session_->set_text(QVX_P_EXCLUDE_FILE, "named.txt");
  session_->set_text(QVX_P_EXCLUDE_FOLDER, "cache");
  session_->set_text(QVX_P_EXCLUDE_FOLDER, root_ + "/sub/full/");
  EXPECT_EQ((names{"keep.txt"}), found());
}

TEST_F(FolderWalkTest, IncludedExtensions) {
  write_file(root_ + "/a.txt", kVirusText);
  write_file(root_ + "/b.bin", kVirusText);
  write_file(root_ + "/noext", kVirusText);
  write_file(root_ + "/d/c.TXT", kVirusText);
  session_->set_text(QVX_P_INCLUDE_EXT, "txt");
  EXPECT_EQ((names{"a.txt", "d/c.TXT"}), found());
}

TEST_F(FolderWalkTest, SpecialFilesAreNeverOpened) {
  write_file(root_ + "/v.txt", kVirusText);
  ASSERT_EQ(0, mkfifo((root_ + "/fifo").c_str(), 0600));
  ASSERT_EQ(0, session_->set_int(QVX_P_EVENT_MASK, 1011));
  EXPECT_EQ((names{"v.txt"}), found());
  EXPECT_NE(session_->events.end(),
            std::find(session_->events.begin(), session_->events.end(), "32 4 " + root_ + "/fifo"));
}

TEST_F(FolderWalkTest, UnreadableFolderAndFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  write_file(root_ + "/locked/v.txt", kVirusText);
  write_file(root_ + "/locked.txt", kVirusText);
  chmod((root_ + "/locked").c_str(), 0);
  chmod((root_ + "/locked.txt").c_str(), 0);
  EXPECT_TRUE(found().empty());
  EXPECT_EQ(2u, session_->counter(QVX_P_OBJECTS_FAILED));
  chmod(root_.c_str(), 0);
  EXPECT_EQ(QVX_R_ACCESS, session_->run(QVX_CMD_SCAN_FOLDER, root_));
}

TEST_F(FolderWalkTest, ExtendedAttributesAreAlternateStreams) {
  write_file(root_ + "/f.txt", "clean");
  if (setxattr((root_ + "/f.txt").c_str(), "user.note", kVirusText, strlen(kVirusText), 0) != 0) {
    GTEST_SKIP() << "no user extended attributes here";
  }
  EXPECT_TRUE(found().empty());
  // The file is of interest once, for its attribute.
  EXPECT_EQ((names{"f.txt"}), found(2 | 8 | 32));
  EXPECT_NE(session_->events.end(),
            std::find(session_->events.begin(), session_->events.end(),
                      "16 0 " + root_ + "/f.txt:user.note 1 1 0 Test-Virus"));
  EXPECT_EQ(2u, session_->counter(QVX_P_FILES_PROCESSED));
  EXPECT_EQ(3u, session_->counter(QVX_P_OBJECTS_PROCESSED));  // the attribute is an object too
}

TEST_F(FolderWalkTest, LongPathsAndDeepFolders) {
  // About 4,000 bytes of path below the root, more than a single open() may take once the root
  // is added; the walk opens each level relative to its parent.
  std::string rel;
  while (rel.size() < 4000) rel += "/" + std::string(200, 'd');
  ASSERT_EQ(0, mkdir(root_.c_str(), 0700));
  int fd = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  for (size_t i = 0; i < rel.size() / 201; ++i) {
    ASSERT_EQ(0, mkdirat(fd, std::string(200, 'd').c_str(), 0700));
    int next = openat(fd, std::string(200, 'd').c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  int f = openat(fd, "v.txt", O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(ssize_t(strlen(kVirusText)), write(f, kVirusText, strlen(kVirusText)));
  close(f);
  close(fd);
  names got = found();
  ASSERT_EQ(1u, got.size());
  EXPECT_GT(got[0].size(), 4000u);
  // A chain deeper than the walk's limit ends in a status, not in a crash.
  std::string deep = files_ / "deep";
  ASSERT_EQ(0, mkdir(deep.c_str(), 0700));
  fd = open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  for (size_t i = 0; i < kMaxDepth + 5; ++i) {
    ASSERT_EQ(0, mkdirat(fd, "d", 0700));
    int next = openat(fd, "d", O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  close(fd);
  ASSERT_EQ(0, session_->set_int(QVX_P_EVENT_MASK, QVX_EV_STATUS));
  session_->events.clear();
  EXPECT_EQ(QVX_R_SUCCESS, session_->run(QVX_CMD_SCAN_FOLDER, deep));
  ASSERT_EQ(1u, session_->events.size());
  EXPECT_EQ(0u, session_->events[0].find("32 5 " + deep + "/d/d/"));
}

TEST_F(FolderWalkTest, ManyEntriesInOneFolder) {
  ASSERT_EQ(0, mkdir(root_.c_str(), 0700));
  int dir = open(root_.c_str(), O_RDONLY | O_DIRECTORY);
  for (int i = 0; i < 100000; ++i) {
    int f = openat(dir, ("f" + std::to_string(i)).c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(f, 0);
    if (i == 99999) {
      ASSERT_GT(write(f, kVirusText, strlen(kVirusText)), 0);
    }
    close(f);
  }
  close(dir);
  EXPECT_EQ((names{"f99999"}), found());
  EXPECT_EQ(100000u, session_->counter(QVX_P_FILES_PROCESSED));
}

TEST_F(FolderWalkTest, LargeSparseFile) {
  write_file(root_ + "/v.txt", kVirusText);
  int f = open((root_ + "/sparse").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_EQ(0, ftruncate(f, 10ll << 30));
  ASSERT_EQ(ssize_t(strlen(kVirusText)),
            pwrite(f, kVirusText, strlen(kVirusText), (10ll << 30) - 100));
  close(f);
  EXPECT_EQ((names{"sparse", "v.txt"}), found());
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // the sanitizers reserve address space past any limit
#else
constexpr bool kSanitized = false;
#endif

// The address space this process holds now, in bytes.
uint64_t address_space_in_use() {
  std::string status = read_file("/proc/self/status");
  size_t at = status.find("VmSize:");
  return at == std::string::npos ? 0 : std::stoull(status.substr(at + 7)) * 1024;
}

TEST_F(FolderWalkTest, OutOfMemoryOnAWorkerFailsThatFileOnly) {
  if (kSanitized) GTEST_SKIP() << "an address space limit does not hold with sanitizers";
  // A gzip of 64 MiB of zeros: unpacking it needs more memory than the limit set below allows,
  // long before its ratio marks it as a bomb. Memory that runs out on a worker once ended the
  // whole process.
  std::string gz = make_gzip(std::string(64u << 20, '\0'));
  write_file(root_ + "/b.txt", kVirusText);
  EXPECT_EQ((names{"b.txt"}), found());  // the workers, their matchers and arenas now exist
  write_file(root_ + "/a.gz", gz);
  write_file(root_ + "/c.txt", kVirusText);
  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_AS, &saved));
  rlimit tight = saved;
  tight.rlim_cur = rlim_t(address_space_in_use() + (16 << 20));
  ASSERT_EQ(0, setrlimit(RLIMIT_AS, &tight));
  session_->events.clear();
  uint64_t files_before = session_->counter(QVX_P_FILES_PROCESSED);
  int32_t result = session_->run(QVX_CMD_SCAN_FOLDER, root_);
  setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(QVX_R_DETECTED, result);
  std::vector<std::string> outcomes;
  for (const std::string& e : session_->events) {
    if (e.rfind("512 ", 0) == 0) outcomes.push_back(e.substr(0, 7) + e.substr(7 + root_.size()));
  }
  EXPECT_EQ((names{"512 14 /a.gz", "512 6 /b.txt", "512 6 /c.txt"}), outcomes);
  EXPECT_EQ(1u, session_->counter(QVX_P_OBJECTS_FAILED));
  EXPECT_EQ(files_before + 3, session_->counter(QVX_P_FILES_PROCESSED));
}

}  // namespace
}  // namespace qorvex
