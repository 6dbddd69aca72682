// Actions on detected files: delete, force-delete, quarantine and disinfect, through the C entry
// points, and the checks that keep an action on the file that was scanned.
#include "qorvex/src/file_action.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <iterator>

#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

namespace fs = std::filesystem;

class FileActionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    compile_into(test_source() +
                     "pattern Cut-Me kind=1 repair=cut : \"CUT-FROM-HERE\"\n"
                     "pattern Blank-Me kind=1 repair=blank : \"BLANK-THIS\"\n",
                 defs_.path());
    session_ = std::make_unique<engine_session>(defs_.path());
    ASSERT_EQ(QVX_R_SUCCESS, session_->create_result());
    ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK,
                                               QVX_EV_DETECTION | QVX_EV_STATUS | QVX_EV_ACTION));
    setenv("XDG_DATA_HOME", (data_ / "share").c_str(), 1);
  }
  void TearDown() override { unsetenv("XDG_DATA_HOME"); }

  // Runs the folder scan with an action; returns the events that are not clean statuses.
  std::vector<std::string> act(int32_t action, const std::string& target) {
    EXPECT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_ACTION, action));
    session_->events.clear();
    session_->run(QVX_CMD_SCAN_FOLDER, target);
    std::vector<std::string> out;
    for (std::string e : session_->events) {
      size_t at = e.find(dir_.path() + "/");
      if (at != std::string::npos) e.erase(at, dir_.path().size() + 1);
      if (e.rfind("32 0 ", 0) != 0 && e.rfind("16 ", 0) != 0) out.push_back(e);
    }
    return out;
  }

  scoped_temp_dir defs_, dir_, data_;
  std::unique_ptr<engine_session> session_;
};

using events = std::vector<std::string>;

TEST_F(FileActionTest, DeleteRemovesDetectedFilesOnly) {
  write_file(dir_ / "t/v.txt", kVirusText);
  write_file(dir_ / "t/clean.txt", "clean");
  write_file(dir_ / "t/a.zip", make_zip({{"v.txt", kVirusText}}));
  EXPECT_EQ((events{"512 6 t/a.zip", "512 12 t/a.zip", "512 6 t/v.txt", "512 8 t/v.txt"}),
            act(2, dir_ / "t"));
  EXPECT_FALSE(fs::exists(dir_ / "t/v.txt"));
  EXPECT_TRUE(fs::exists(dir_ / "t/a.zip"));
  EXPECT_EQ("clean", read_file(dir_ / "t/clean.txt"));
  EXPECT_EQ(1u, session_->counter(QVX_P_OBJECTS_DELETED));
  // Force-delete takes containers too.
  EXPECT_EQ((events{"512 6 t/a.zip", "512 8 t/a.zip"}), act(3, dir_ / "t"));
  EXPECT_FALSE(fs::exists(dir_ / "t/a.zip"));
  EXPECT_EQ(2u, session_->counter(QVX_P_OBJECTS_DELETED));
  EXPECT_EQ(3u, session_->counter(QVX_P_OBJECTS_DETECTED));  // the zip was detected twice
}

TEST_F(FileActionTest, DeleteFailureIsCounted) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write every folder";
  write_file(dir_ / "t/v.txt", kVirusText);
  chmod((dir_ / "t").c_str(), 0500);
  EXPECT_EQ((events{"512 6 t/v.txt", "512 11 t/v.txt"}), act(2, dir_ / "t"));
  EXPECT_EQ(1u, session_->counter(QVX_P_FILES_DELETE_FAILED));
  chmod((dir_ / "t").c_str(), 0700);
}

TEST_F(FileActionTest, QuarantineKeepsContentAndRecord) {
  write_file(dir_ / "t/v.txt", kVirusText);
  chmod((dir_ / "t/v.txt").c_str(), 0640);
  EXPECT_EQ((events{"512 6 t/v.txt", "512 15 t/v.txt"}), act(4, dir_ / "t"));
  EXPECT_FALSE(fs::exists(dir_ / "t/v.txt"));
  EXPECT_EQ(1u, session_->counter(QVX_P_OBJECTS_QUARANTINED));
  std::string store = data_ / "share/ferrox/quarantine";
  EXPECT_EQ(fs::perms::owner_all, fs::status(store).permissions());
  std::string data, info;
  for (const auto& e : fs::directory_iterator(store)) {
    (e.path().extension() == ".data" ? data : info) = e.path();
  }
  ASSERT_FALSE(data.empty());
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(kVirusText, read_file(data));
  std::string record = read_file(info);
  std::string real = fs::canonical(dir_.path()).string() + "/t/v.txt";
  for (std::string want :
       {"path=" + real + "\n", std::string("mode=0640\n"), std::string("names=Test-Virus\n"),
        "size=" + std::to_string(strlen(kVirusText)) + "\n",
        "data=" + fs::path(data).filename().string() + "\n"}) {
    EXPECT_NE(std::string::npos, record.find(want)) << want << " in\n" << record;
  }
}

TEST_F(FileActionTest, QuarantineFailureLeavesTheFile) {
  write_file(data_ / "share", "a file where the store's folder should be");
  write_file(dir_ / "t/v.txt", kVirusText);
  EXPECT_EQ((events{"512 6 t/v.txt", "512 16 t/v.txt"}), act(4, dir_ / "t"));
  EXPECT_EQ(kVirusText, read_file(dir_ / "t/v.txt"));
  EXPECT_EQ(1u, session_->counter(QVX_P_FILES_QUARANTINE_FAILED));
  EXPECT_EQ(0u, session_->counter(QVX_P_OBJECTS_QUARANTINED));
}

// The store and its `ferrox` parent must be private folders of ours, reached without following
// a link; otherwise the quarantine fails and nothing is written anywhere.
TEST_F(FileActionTest, QuarantineStoreMustBeAPrivateFolder) {
  std::string share = data_ / "share", outside = data_ / "outside";
  struct store_case {
    const char* what;
    std::function<void()> make;
  };
  std::vector<store_case> cases = {
      {"ferrox is a link", [&] { fs::create_directory_symlink(outside, share + "/ferrox"); }},
      {"quarantine is a link",
       [&] {
         fs::create_directory(share + "/ferrox");
         chmod((share + "/ferrox").c_str(), 0700);
         fs::create_directory_symlink(outside, share + "/ferrox/quarantine");
       }},
      {"a dangling link", [&] { fs::create_symlink(outside + "/new", share + "/ferrox"); }},
      {"ferrox open to others",
       [&] {
         fs::create_directory(share + "/ferrox");
         chmod((share + "/ferrox").c_str(), 0755);
       }},
      {"quarantine open to others",
       [&] {
         fs::create_directory(share + "/ferrox");
         chmod((share + "/ferrox").c_str(), 0700);
         fs::create_directory(share + "/ferrox/quarantine");
         chmod((share + "/ferrox/quarantine").c_str(), 0770);
       }},
  };
  if (geteuid() == 0) {
    cases.push_back({"another user's folder", [&] {
                       fs::create_directory(share + "/ferrox");
                       chmod((share + "/ferrox").c_str(), 0700);
                       ASSERT_EQ(0, chown((share + "/ferrox").c_str(), 65534, 65534));
                     }});
  }
  for (const store_case& c : cases) {
    fs::remove_all(share);
    fs::remove_all(outside);
    fs::create_directories(share);
    fs::create_directories(outside);
    chmod(outside.c_str(), 0700);
    c.make();
    write_file(dir_ / "t/v.txt", kVirusText);
    EXPECT_EQ((events{"512 6 t/v.txt", "512 16 t/v.txt"}), act(4, dir_ / "t")) << c.what;
    EXPECT_EQ(kVirusText, read_file(dir_ / "t/v.txt")) << c.what;
    EXPECT_TRUE(fs::is_empty(outside)) << c.what;
    for (const auto& e : fs::recursive_directory_iterator(share)) {
      EXPECT_FALSE(e.is_regular_file()) << c.what << ": " << e.path();
    }
  }
  // Missing levels are made private, and then the quarantine works.
  fs::remove_all(share);
  EXPECT_EQ((events{"512 6 t/v.txt", "512 15 t/v.txt"}), act(4, dir_ / "t"));
  EXPECT_EQ(fs::perms::owner_all, fs::status(share + "/ferrox").permissions());
}

TEST_F(FileActionTest, DisinfectCutsOrBlanksAndRescans) {
  session_->detection_answer = 1;
  write_file(dir_ / "t/cut.bin", "keep this part CUT-FROM-HERE and the rest");
  write_file(dir_ / "t/blank.bin", "a BLANK-THIS b");
  chmod((dir_ / "t/cut.bin").c_str(), 0751);
  EXPECT_EQ((events{"512 6 t/blank.bin", "32 7 t/blank.bin", "512 6 t/cut.bin", "32 7 t/cut.bin"}),
            act(1, dir_ / "t"));
  EXPECT_EQ("keep this part ", read_file(dir_ / "t/cut.bin"));
  EXPECT_EQ(std::string("a ") + std::string(10, '\0') + " b", read_file(dir_ / "t/blank.bin"));
  EXPECT_EQ(fs::perms(0751), fs::status(dir_ / "t/cut.bin").permissions());
  EXPECT_EQ(2u, session_->counter(QVX_P_OBJECTS_CLEANED));
  // No repaired copy is left beside the files.
  EXPECT_EQ(2, std::distance(fs::directory_iterator(dir_ / "t"), fs::directory_iterator()));
}

TEST_F(FileActionTest, DisinfectFailsWithoutARepairOrWhenTheCopyIsNotClean) {
  session_->detection_answer = 1;
  write_file(dir_ / "t/v.txt", kVirusText);  // no repair known
  write_file(dir_ / "t/twice.bin",
             "BLANK-THIS and BLANK-THIS again");  // one blanking is not enough
  EXPECT_EQ((events{"512 6 t/twice.bin", "32 10 t/twice.bin", "512 6 t/v.txt", "32 10 t/v.txt"}),
            act(1, dir_ / "t"));
  EXPECT_EQ(kVirusText, read_file(dir_ / "t/v.txt"));
  EXPECT_EQ("BLANK-THIS and BLANK-THIS again", read_file(dir_ / "t/twice.bin"));
  EXPECT_EQ(2u, session_->counter(QVX_P_FILES_DISINFECT_FAILED));
  EXPECT_EQ(2, std::distance(fs::directory_iterator(dir_ / "t"), fs::directory_iterator()));
  // Without the callback asking for it, nothing is tried.
  session_->detection_answer = 0;
  EXPECT_EQ((events{"512 6 t/twice.bin", "512 6 t/v.txt"}), act(1, dir_ / "t"));
}

// A link swapped in for the scanned file between scan and action: nothing outside is touched.
TEST_F(FileActionTest, SwappedEntryIsNotActedOn) {
  write_file(dir_ / "outside.txt", "precious");
  write_file(dir_ / "t/v.txt", kVirusText);
  file_handle f;
  f.dir = std::make_shared<dir_handle>(open((dir_ / "t").c_str(), O_RDONLY | O_DIRECTORY));
  f.name = "v.txt";
  f.fd = open((dir_ / "t/v.txt").c_str(), O_RDONLY);
  ASSERT_EQ(0, fstat(f.fd, &f.st));
  EXPECT_TRUE(still_same(f));
  ASSERT_EQ(0, unlink((dir_ / "t/v.txt").c_str()));
  ASSERT_EQ(0, symlink((dir_ / "outside.txt").c_str(), (dir_ / "t/v.txt").c_str()));
  EXPECT_FALSE(still_same(f));
  EXPECT_EQ(ESTALE, delete_file(f));
  std::string item;
  EXPECT_EQ(ESTALE, quarantine_file(f, dir_ / "t/v.txt", "x", &item));
  EXPECT_EQ(ESTALE, repair_file(f, {{repair_type::cut, 0, 1}}, [](int, uint64_t) { return true; }));
  EXPECT_EQ("precious", read_file(dir_ / "outside.txt"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "t/v.txt"));
}

TEST_F(FileActionTest, ActionsOnSingleFileTargets) {
  write_file(dir_ / "v.txt", kVirusText);
  ASSERT_EQ(0, symlink((dir_ / "v.txt").c_str(), (dir_ / "link").c_str()));
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_ACTION, 2));
  // Named through a link, the entry is the link, not the scanned file: nothing is deleted.
  EXPECT_EQ(QVX_R_DETECTED, session_->run(QVX_CMD_SCAN_FILE, dir_ / "link"));
  EXPECT_TRUE(fs::exists(dir_ / "v.txt"));
  EXPECT_EQ(QVX_R_DETECTED, session_->run(QVX_CMD_SCAN_FILE, dir_ / "v.txt"));
  EXPECT_FALSE(fs::exists(dir_ / "v.txt"));
  EXPECT_EQ(1u, session_->counter(QVX_P_OBJECTS_DELETED));
  EXPECT_EQ(1u, session_->counter(QVX_P_FILES_DELETE_FAILED));
}

}  // namespace
}  // namespace qorvex
