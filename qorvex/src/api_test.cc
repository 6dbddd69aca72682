// The engine through its C entry points: creation, properties, settings, events and counters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "qorvex/include/qorvex.h"
#include "qorvex/src/engine_version.h"
#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

class ApiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    compile_into(test_source(), defs_.path());
    session_ = std::make_unique<engine_session>(defs_.path());
    ASSERT_EQ(QVX_R_SUCCESS, session_->create_result());
  }
  std::vector<std::string> scan(const std::string& name, const std::string& content) {
    write_file(files_ / name, content);
    session_->events.clear();
    last_result_ = session_->run(QVX_CMD_SCAN_FILE, files_ / name);
    return session_->events;
  }

  scoped_temp_dir defs_, files_;
  std::unique_ptr<engine_session> session_;
  int32_t last_result_ = 0;
};

TEST_F(ApiTest, CreationRefusesBadArguments) {
  qvx_handle h = 0;
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_create_object(0, QVX_TYPE_V2, nullptr, nullptr, nullptr, &h));
  EXPECT_EQ(QVX_R_INVALID_DATA,
            qvx_create_object(0, QVX_TYPE_V2, defs_.path().c_str(), nullptr, nullptr, nullptr));
  EXPECT_EQ(QVX_R_INVALID_DATA,
            qvx_create_object(0, QVX_TYPE_V2, "/nonexistent/defs", nullptr, nullptr, &h));
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_close_object(987654321));
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_run_command(987654321, QVX_CMD_SCAN_FILE, "/", 0, 0));
}

TEST_F(ApiTest, VersionsAndNames) {
  uint32_t version = 0;
  ASSERT_EQ(QVX_R_SUCCESS,
            qvx_get_property(session_->handle(), QVX_P_ENGINE_VERSION, 0, &version, 4));
  EXPECT_EQ(kEngineVersion, version);
  char id[14];
  ASSERT_EQ(QVX_R_SUCCESS,
            qvx_get_property(session_->handle(), QVX_P_DEFS_VERSION, 0, id, sizeof id));
  EXPECT_STREQ("202612101530", id);
  ASSERT_EQ(QVX_R_SUCCESS,
            qvx_get_property(session_->handle(), QVX_P_DEFS_VERSION, 1, id, sizeof id));
  EXPECT_STREQ("202612101530", id);
  EXPECT_EQ(QVX_R_NOT_FOUND,
            qvx_get_property(session_->handle(), QVX_P_DEFS_VERSION, 2, id, sizeof id));
  EXPECT_EQ(5u, session_->counter(QVX_P_NAME_COUNT));
  EXPECT_EQ(5u, session_->counter(QVX_P_MALWARE_COUNT));
  EXPECT_EQ("Test-Adware", session_->text(QVX_P_NAME, 0));
  EXPECT_EQ("Test-Virus", session_->text(QVX_P_NAME, 4));
  EXPECT_EQ("<fail>", session_->text(QVX_P_NAME, 5));
  EXPECT_EQ("<fail>", session_->text(QVX_P_NAME, -1));
  // A text buffer too small gets the text cut and still zero-terminated.
  char small[5];
  ASSERT_EQ(QVX_R_SUCCESS,
            qvx_get_property(session_->handle(), QVX_P_NAME, 0, small, sizeof small));
  EXPECT_STREQ("Test", small);
}

TEST_F(ApiTest, ListCommandRaisesTheNamesEventOnlyWhenMasked) {
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK, QVX_EV_NAMES));
  EXPECT_EQ(QVX_R_SUCCESS, qvx_run_command(session_->handle(), QVX_CMD_LIST_NAMES, nullptr, 0, 0));
  EXPECT_EQ((std::vector<std::string>{"128"}), session_->events);
  session_->events.clear();
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK, QVX_EV_DETECTION));
  EXPECT_EQ(QVX_R_SUCCESS, qvx_run_command(session_->handle(), QVX_CMD_LIST_NAMES, nullptr, 0, 0));
  EXPECT_TRUE(session_->events.empty());
}

TEST_F(ApiTest, SettingsTheScannerSendsAreAccepted) {
  engine_session& s = *session_;
  for (int32_t level : {-1, 0, 1, 3, 4})
    EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_HEURISTICS, level));
  for (int32_t mode : {0, 1, 2}) EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_MACRO_MODE, mode));
  EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_SCAN_FLAGS, 2 + 8 + 16 + 32 + 256 + 512));
  for (int32_t action : {0, 1, 2, 3, 4}) EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_ACTION, action));
  for (int32_t depth : {0, 5, 99}) EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_ARCHIVE_DEPTH, depth));
  EXPECT_EQ(QVX_R_SUCCESS, s.set_u64(QVX_P_HIDDEN_KINDS, 12));
  EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_LIMITS, 100 << 20, 6));
  EXPECT_EQ(QVX_R_SUCCESS, s.set_int(QVX_P_EVENT_MASK, 1011));
  for (int32_t p :
       {QVX_P_INCLUDE_EXT, QVX_P_EXCLUDE_EXT, QVX_P_EXCLUDE_FILE, QVX_P_EXCLUDE_FOLDER}) {
    // Text values come without a terminating zero: the size says where they end.
    EXPECT_EQ(QVX_R_SUCCESS, qvx_set_property(s.handle(), p, 0, "exe-and-more", 3));
  }
}

TEST_F(ApiTest, OutOfRangeSettingsAreRefused) {
  engine_session& s = *session_;
  EXPECT_EQ(QVX_R_INVALID_DATA, s.set_int(QVX_P_ARCHIVE_DEPTH, 100));
  EXPECT_EQ(QVX_R_INVALID_DATA, s.set_int(QVX_P_ARCHIVE_DEPTH, -1));
  EXPECT_EQ(QVX_R_INVALID_DATA, s.set_int(QVX_P_HEURISTICS, 5));
  EXPECT_EQ(QVX_R_INVALID_DATA, s.set_int(QVX_P_ACTION, 5));
  EXPECT_EQ(QVX_R_INVALID_DATA, s.set_int(QVX_P_MACRO_MODE, 3));
  int16_t odd = 1;
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_set_property(s.handle(), QVX_P_SCAN_FLAGS, 0, &odd, 2));
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_set_property(s.handle(), QVX_P_EXCLUDE_EXT, 0, "", 0));
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_set_property(s.handle(), QVX_P_EXCLUDE_EXT, 0, nullptr, 3));
  EXPECT_EQ(QVX_R_NOT_SUPPORTED, s.set_int(QVX_P_LIMITS, 1, 0));
  EXPECT_EQ(QVX_R_NOT_SUPPORTED, s.set_int(QVX_P_OBJECTS_DETECTED, 1));
  EXPECT_EQ(QVX_R_NOT_SUPPORTED, s.set_int(77, 1));
}

TEST_F(ApiTest, SystemCommandsLookAtTheSystemRoot) {
  // An empty system root has no disks and no processes, and nothing starts from it.
  scoped_temp_dir empty;
  setenv("QORVEX_SYSTEM_ROOT", empty.path().c_str(), 1);
  for (int32_t c :
       {QVX_CMD_SCAN_BOOT_SECTORS, QVX_CMD_SCAN_MBR, QVX_CMD_SCAN_GPT, QVX_CMD_SCAN_MEMORY}) {
    EXPECT_EQ(QVX_R_NOT_SUPPORTED, qvx_run_command(session_->handle(), c, nullptr, 0, 0)) << c;
  }
  EXPECT_EQ(QVX_R_SUCCESS,
            qvx_run_command(session_->handle(), QVX_CMD_SCAN_STARTUP, nullptr, 0, 0));
  unsetenv("QORVEX_SYSTEM_ROOT");
  EXPECT_EQ(QVX_R_INVALID_DATA, qvx_run_command(session_->handle(), 99, nullptr, 0, 0));
  EXPECT_EQ(QVX_R_INVALID_DATA,
            qvx_run_command(session_->handle(), QVX_CMD_SCAN_FILE, nullptr, 0, 0));
}

TEST_F(ApiTest, EventPropertiesFailOutsideAnEvent) {
  char buf[64];
  int32_t v = 0;
  EXPECT_EQ(QVX_R_NOT_FOUND, qvx_get_property(session_->handle(), QVX_P_OBJECT_NAME, 0, buf, 64));
  EXPECT_EQ(QVX_R_NOT_FOUND, qvx_get_property(session_->handle(), QVX_P_KIND, 0, &v, 4));
  EXPECT_EQ(QVX_R_NOT_FOUND, qvx_get_property(session_->handle(), QVX_P_REPORT_TEXT, 0, buf, 64));
  EXPECT_EQ(QVX_R_NOT_SUPPORTED, qvx_get_property(session_->handle(), 77, 0, &v, 4));
  EXPECT_EQ(QVX_R_INVALID_DATA,
            qvx_get_property(session_->handle(), QVX_P_ENGINE_VERSION, 0, &v, 3));
}

TEST_F(ApiTest, DetectionEventsCarryTheSignature) {
  std::string path = files_ / "v.txt";
  EXPECT_EQ((std::vector<std::string>{"16 0 " + path + " 1 1 0 Test-Virus", "512 6 " + path}),
            scan("v.txt", kVirusText));
  EXPECT_EQ(QVX_R_DETECTED, last_result_);
  path = files_ / "head.bin";
  EXPECT_EQ((std::vector<std::string>{"16 0 " + path + " 4 1 2560 Test-Head", "512 6 " + path}),
            scan("head.bin", std::string("HEAD\x41\x99\x7f rest", 12)));
  path = files_ / "h.bin";
  EXPECT_EQ((std::vector<std::string>{"16 0 " + path + " 22 1 0 Test-Hash", "512 6 " + path}),
            scan("h.bin", kHashedText));
  // The same bytes with one more byte have another size and are not hashed at all.
  EXPECT_EQ((std::vector<std::string>{"32 0 " + (files_ / "h2.bin")}),
            scan("h2.bin", std::string(kHashedText) + "x"));
  EXPECT_EQ(QVX_R_SUCCESS, last_result_);
}

TEST_F(ApiTest, EventMaskSelectsTheEventsRaised) {
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK, 1011));
  std::string path = files_ / "v.txt";
  EXPECT_EQ(
      (std::vector<std::string>{"1 0 " + path, "2 0 " + path, "16 0 " + path + " 1 1 0 Test-Virus",
                                "64 0 " + path, "512 6 " + path}),
      scan("v.txt", kVirusText));
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK, QVX_EV_STATUS));
  EXPECT_TRUE(scan("v.txt", kVirusText).empty());
  EXPECT_EQ(QVX_R_DETECTED, last_result_);
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK, 0));
  EXPECT_TRUE(scan("c.txt", "clean").empty());
}

TEST_F(ApiTest, HiddenKindsHeuristicsAndAllowList) {
  std::string adware = files_ / "a.txt", heur = files_ / "h.txt", allowed = files_ / "ok.txt";
  // Property 40 = 12 hides kinds 2 and 3.
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_u64(QVX_P_HIDDEN_KINDS, 12));
  EXPECT_EQ((std::vector<std::string>{"32 0 " + adware}), scan("a.txt", kAdwareText));
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_u64(QVX_P_HIDDEN_KINDS, 0));
  EXPECT_EQ(2u, scan("a.txt", kAdwareText).size());
  // Active from level 3: not at the default (-1) nor at low (1), found at medium and high.
  struct {
    int32_t level;
    size_t events;
  } levels[] = {{-1, 1}, {0, 1}, {1, 1}, {3, 2}, {4, 2}};
  for (auto l : levels) {
    ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_HEURISTICS, l.level));
    EXPECT_EQ(l.events, scan("h.txt", kHeuristicText).size()) << l.level;
  }
  EXPECT_EQ((std::vector<std::string>{"32 0 " + allowed}), scan("ok.txt", kAllowedText));
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_SCAN_FLAGS, 10 | 256));
  EXPECT_EQ(2u, scan("ok.txt", kAllowedText).size());
}

TEST_F(ApiTest, DisguisedExecutablesFromMediumHeuristicsOn) {
  std::string pe("MZ\x90\x00 program", 12), elf("\x7f"
                                                "ELF\x02\x01",
                                                6);
  struct {
    const char* name;
    std::string content;
    bool found;
  } cases[] = {
      {"report.pdf", pe, true}, {"photo.JPG", elf, true}, {"notes.txt", "MZ is a text", false},
      {"tool.exe", pe, false},  {"noext", pe, false},     {"dir.pdf.d/x", pe, false},
  };
  for (int32_t level : {1, 3}) {
    ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_HEURISTICS, level));
    for (const auto& c : cases) {
      std::vector<std::string> got = scan(c.name, c.content);
      bool found = c.found && level >= 3;
      std::string want = "16 0 " + (files_ / c.name) + " 24 2 0 Heuristic.Disguised-Executable";
      EXPECT_EQ(found ? want : "32 0 " + (files_ / c.name), got.empty() ? "" : got[0])
          << c.name << " at level " << level;
    }
  }
}

TEST_F(ApiTest, CountersAddUp) {
  scan("v.txt", kVirusText);
  scan("c.txt", "clean");
  scan("e.txt", "");
  EXPECT_EQ(3u, session_->counter(QVX_P_FILES_PROCESSED));
  EXPECT_EQ(3u, session_->counter(QVX_P_OBJECTS_PROCESSED));
  EXPECT_EQ(1u, session_->counter(QVX_P_OBJECTS_DETECTED));
  EXPECT_EQ(0u, session_->counter(QVX_P_OBJECTS_FAILED));
  for (int32_t p : {QVX_P_OBJECTS_DELETED, QVX_P_OBJECTS_CLEANED, QVX_P_OBJECTS_QUARANTINED,
                    QVX_P_FILES_DISINFECT_FAILED, QVX_P_FILES_DELETE_FAILED,
                    QVX_P_FILES_PENDING_DELETE, QVX_P_FILES_QUARANTINE_FAILED}) {
    EXPECT_EQ(0u, session_->counter(p)) << p;
  }
  uint32_t narrow = 7;
  EXPECT_EQ(QVX_R_SUCCESS,
            qvx_get_property(session_->handle(), QVX_P_FILES_PROCESSED, 0, &narrow, 4));
  EXPECT_EQ(3u, narrow);
}

TEST_F(ApiTest, MissingTargetsAndSpecialFiles) {
  EXPECT_EQ(QVX_R_NOT_FOUND, session_->run(QVX_CMD_SCAN_FILE, files_ / "none"));
  EXPECT_EQ(QVX_R_NOT_FOUND, session_->run(QVX_CMD_SCAN_FOLDER, files_ / "none"));
  EXPECT_EQ(QVX_R_NOT_FOUND, session_->run(QVX_CMD_SCAN_FILE, ""));
  symlink("dangling-target", (files_ / "dangling").c_str());
  EXPECT_EQ(QVX_R_NOT_FOUND, session_->run(QVX_CMD_SCAN_FILE, files_ / "dangling"));
  // A FIFO named as a target is never opened, so nothing blocks.
  ASSERT_EQ(0, mkfifo((files_ / "fifo").c_str(), 0600));
  session_->events.clear();
  EXPECT_EQ(QVX_R_SUCCESS, session_->run(QVX_CMD_SCAN_FILE, files_ / "fifo"));
  EXPECT_EQ((std::vector<std::string>{"32 4 " + (files_ / "fifo")}), session_->events);
  EXPECT_EQ(QVX_R_SUCCESS, session_->run(QVX_CMD_SCAN_FILE, "/dev/null"));
}

TEST_F(ApiTest, NoPermission) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  write_file(files_ / "locked", kVirusText);
  chmod((files_ / "locked").c_str(), 0);
  session_->events.clear();
  EXPECT_EQ(QVX_R_ACCESS, session_->run(QVX_CMD_SCAN_FILE, files_ / "locked"));
  EXPECT_EQ((std::vector<std::string>{"512 14 " + (files_ / "locked")}), session_->events);
  EXPECT_EQ(1u, session_->counter(QVX_P_OBJECTS_FAILED));
}

// Objects on several threads at once share the set and the worker pool and see the same results.
TEST_F(ApiTest, ObjectsScanConcurrently) {
  for (int i = 0; i < 50; ++i)
    write_file(files_ / ("t/d" + std::to_string(i % 5) + "/f" + std::to_string(i)),
               i % 7 ? "clean" : kVirusText);
  std::vector<std::thread> threads;
  std::vector<int32_t> results(6);
  std::vector<uint64_t> detected(6);
  for (size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&, t] {
      engine_session s(defs_.path());
      results[t] = s.run(QVX_CMD_SCAN_FOLDER, files_ / "t");
      detected[t] = s.counter(QVX_P_OBJECTS_DETECTED);
    });
  }
  for (auto& t : threads) t.join();
  for (size_t t = 0; t < results.size(); ++t) {
    EXPECT_EQ(QVX_R_DETECTED, results[t]);
    EXPECT_EQ(8u, detected[t]);
  }
}

}  // namespace
}  // namespace qorvex
