#include "qorvex/src/system/process_scanner.h"

#include <gtest/gtest.h>

#include "qorvex/src/system/process_fixture.h"
#include "qorvex/src/system/system_testing.h"

namespace qorvex {
namespace {

using lines = std::vector<std::string>;

TEST(process_scanner, basic_scan_reads_images_and_executable_mappings_once) {
  fake_system sys;
  add_fake_processes(sys);
  recording_object rec;
  EXPECT_EQ(scan_all_processes(rec.object(), sys.root(), false), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections, (lines{sys.at("/usr/bin/evil") + " 1 Test-Virus",
                                   sys.at("/usr/lib/libevil.so") + " 1 Test-Virus",
                                   sys.at("/usr/lib/libgone.so (deleted)") + " 1 Test-Virus"}));
  EXPECT_EQ(rec.scanned.size(), 3u);
}

TEST(process_scanner, basic_scan_reports_each_file_as_a_file_with_its_action) {
  // Like a file given by name: counted as a file processed, event 512 code 6 when detected, then
  // the object's action on the entry of its name. The deleted library has no entry to act on.
  struct row {
    int32_t action;
    std::vector<std::pair<const char*, int>> actions;  // system path, code of event 512
    bool files_stay;
  };
  const char* evil = "/usr/bin/evil";
  const char* lib = "/usr/lib/libevil.so";
  const char* gone = "/usr/lib/libgone.so (deleted)";
  const row rows[] = {
      {0, {{evil, 6}, {lib, 6}, {gone, 6}}, true},
      {2, {{evil, 6}, {evil, 8}, {lib, 6}, {lib, 8}, {gone, 6}, {gone, 11}}, false},
  };
  for (const row& r : rows) {
    fake_system sys;
    add_fake_processes(sys);
    sys.file("/usr/bin/clean", "nothing here");
    sys.process(102, "clean", "/usr/bin/clean", "");
    recording_object rec;
    ASSERT_EQ(rec.object().set_property(QVX_P_ACTION, 0, &r.action, sizeof r.action),
              QVX_R_SUCCESS);
    EXPECT_EQ(scan_all_processes(rec.object(), sys.root(), false), QVX_R_SUCCESS);
    lines expected;
    for (const auto& [path, code] : r.actions) {
      expected.push_back(sys.at(path) + " " + std::to_string(code));
    }
    EXPECT_EQ(rec.actions, expected) << r.action;
    EXPECT_EQ(rec.counter(QVX_P_FILES_PROCESSED), 4u) << r.action;
    EXPECT_EQ(rec.counter(QVX_P_OBJECTS_PROCESSED), 4u) << r.action;
    EXPECT_EQ(rec.counter(QVX_P_OBJECTS_DETECTED), 3u) << r.action;
    EXPECT_EQ(rec.counter(QVX_P_OBJECTS_DELETED), r.files_stay ? 0u : 2u) << r.action;
    EXPECT_EQ(rec.counter(QVX_P_FILES_DELETE_FAILED), r.files_stay ? 0u : 1u) << r.action;
    EXPECT_EQ(access(sys.at("/usr/bin/evil").c_str(), F_OK) == 0, r.files_stay) << r.action;
    EXPECT_EQ(access(sys.at("/usr/lib/libevil.so").c_str(), F_OK) == 0, r.files_stay) << r.action;
    EXPECT_EQ(access(sys.at("/usr/bin/clean").c_str(), F_OK), 0) << r.action;
  }
}

TEST(process_scanner, memory_regions_are_objects_not_files) {
  fake_system sys;
  add_fake_processes(sys);
  recording_object rec;
  int32_t remove = 2;
  ASSERT_EQ(rec.object().set_property(QVX_P_ACTION, 0, &remove, sizeof remove), QVX_R_SUCCESS);
  EXPECT_EQ(scan_all_processes(rec.object(), sys.root(), true), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections.size(), 3u);
  EXPECT_EQ(rec.actions, lines{});
  EXPECT_EQ(rec.counter(QVX_P_FILES_PROCESSED), 0u);
  EXPECT_EQ(rec.counter(QVX_P_OBJECTS_PROCESSED), 4u);
  EXPECT_EQ(rec.counter(QVX_P_OBJECTS_DETECTED), 3u);
}

TEST(process_scanner, advanced_scan_reads_readable_anonymous_memory) {
  fake_system sys;
  add_fake_processes(sys);
  recording_object rec;
  EXPECT_EQ(scan_all_processes(rec.object(), sys.root(), true), QVX_R_SUCCESS);
  std::string mem = sys.at("/proc/100/mem");
  EXPECT_EQ(rec.detections, (lines{mem + ">[heap] 00600000-00601000 1 Test-Virus",
                                   mem + ">[anon] 00800000-00802000 1 Test-Virus",
                                   mem + ">[stack] 00c00000-00c01000 1 Test-Virus"}));
  // Process 101 holds nothing and is reported once, clean; 2 and this process are not looked at.
  EXPECT_EQ(rec.scanned, (lines{mem, mem, mem, sys.at("/proc/101/mem")}));
}

TEST(process_scanner, skips_memory_that_a_userfaultfd_supplies) {
  // Reading such pages would wait on the watching process; smaps marks them, maps does not.
  fake_system sys;
  std::string maps =
      "00600000-00601000 rw-p 00000000 00:00 0 [heap]\n"
      "00700000-00701000 rw-p 00000000 00:00 0\n";
  sys.process(200, "uffd", "", maps, {{0x600000, virus_marker()}, {0x700000, virus_marker()}});
  sys.file("/proc/200/smaps",
           "00600000-00601000 rw-p 00000000 00:00 0 [heap]\nVmFlags: rd wr mr mw me ac um\n"
           "00700000-00701000 rw-p 00000000 00:00 0\nVmFlags: rd wr mr mw me ac\n");
  recording_object rec;
  EXPECT_EQ(scan_all_processes(rec.object(), sys.root(), true), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections,
            lines{sys.at("/proc/200/mem") + ">[anon] 00700000-00701000 1 Test-Virus"});
}

TEST(process_scanner, maps_whole_system_results) {
  struct row {
    const char* what;
    std::function<void(fake_system&)> setup;
    bool advanced;
    int32_t as_owner, as_nobody;  // as the fixture's owner, as another user
  };
  const row rows[] = {
      {"no /proc", [](fake_system&) {}, false, QVX_R_NOT_SUPPORTED, QVX_R_NOT_SUPPORTED},
      {"only the kernel and us", [](fake_system& s) { s.process(2, "k", "", "", {}, true); }, true,
       QVX_R_SUCCESS, QVX_R_SUCCESS},
      {"memory of others denied", add_fake_processes, true, QVX_R_SUCCESS, QVX_R_ACCESS},
      {"files of others readable", add_fake_processes, false, QVX_R_SUCCESS, QVX_R_SUCCESS},
      {"maps and image denied",
       [](fake_system& s) {
         s.file("/usr/bin/private", "x", 0600);
         s.process(300, "p", "/usr/bin/private", "");
         chmod(s.at("/proc/300/maps").c_str(), 0400);
       },
       false, QVX_R_SUCCESS, QVX_R_ACCESS},
      {"a process that vanished", [](fake_system& s) { s.folder("/proc/400"); }, true,
       QVX_R_SUCCESS, QVX_R_SUCCESS},
  };
  for (const row& r : rows) {
    fake_system sys;
    r.setup(sys);
    recording_object rec;
    EXPECT_EQ(scan_all_processes(rec.object(), sys.root(), r.advanced), r.as_owner) << r.what;
    if (!can_become_nobody()) continue;
    EXPECT_EQ(
        run_as_nobody([&] { return scan_all_processes(rec.object(), sys.root(), r.advanced); }),
        r.as_nobody)
        << r.what;
  }
}

}  // namespace
}  // namespace qorvex
