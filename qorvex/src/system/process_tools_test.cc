#include "qorvex/src/system/process_tools.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "qorvex/src/system/private_output.h"
#include "qorvex/src/system/process_fixture.h"
#include "qorvex/src/system/system_testing.h"

namespace qorvex {
namespace {
namespace fs = std::filesystem;

using lines = std::vector<std::string>;

lines folder_names(const std::string& dir) {
  lines names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

int mode_of(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

class process_tools_test : public ::testing::Test {
 protected:
  process_tools_test() { add_fake_processes(sys_); }
  fake_system sys_;
  scoped_temp_dir out_;
  recording_object rec_;
};

TEST_F(process_tools_test, selects_processes_by_id_name_or_image) {
  struct row {
    std::string value;
    std::vector<int> expected;
  };
  const row rows[] = {
      {"100", {100}},   {"evil", {100, 101}},
      {"twin", {101}},  {"2", {}},
      {"kthreadd", {}}, {std::to_string(getpid()), {}},
      {"999", {}},      {"", {}},
      {"0", {}},        {"99999999999", {}},
      {"../evil", {}},  {"self", {}},
  };
  for (const row& r : rows) {
    int err = 0;
    EXPECT_EQ(select_processes(sys_.root(), r.value, &err), r.expected) << r.value;
    EXPECT_EQ(err, 0) << r.value;
  }
}

TEST_F(process_tools_test, writes_the_process_list) {
  ASSERT_EQ(dump_process_list(sys_.root(), out_.path()), QVX_R_SUCCESS);
  std::string path = out_ / kProcessListName;
  std::string self = std::to_string(getpid());
  std::string uid = "\t" + std::to_string(geteuid()) + "\t";  // the owner of the fake entries
  std::string expected = "PID\tPPID\tUID\tNAME\tEXE\tCMDLINE\n";
  expected += "2\t1" + uid + "kthreadd\t\tkthreadd --flag\n";
  expected += "100\t1" + uid + "evil\t" + sys_.at("/usr/bin/evil") + "\tevil --flag\n";
  expected += "101\t1" + uid + "twin\t" + sys_.at("/usr/bin/evil") + "\ttwin --flag\n";
  expected += self + "\t1" + uid + "self\t" + sys_.at("/usr/bin/self") + "\tself --flag\n";
  EXPECT_EQ(read_file(path), expected);
  EXPECT_EQ(mode_of(path), 0600);
}

TEST_F(process_tools_test, refuses_planted_list_files) {
  std::string path = out_ / kProcessListName;
  write_file(out_ / "target", "keep");
  ASSERT_EQ(symlink((out_ / "target").c_str(), path.c_str()), 0);
  EXPECT_EQ(dump_process_list(sys_.root(), out_.path()), QVX_R_ACCESS);
  EXPECT_EQ(read_file(out_ / "target"), "keep");
  fs::remove(path);
  ASSERT_EQ(link((out_ / "target").c_str(), path.c_str()), 0);  // a second name of another file
  EXPECT_EQ(dump_process_list(sys_.root(), out_.path()), QVX_R_ACCESS);
  EXPECT_EQ(read_file(out_ / "target"), "keep");
  fs::remove(path);
  if (can_become_nobody()) {
    write_file(path, "someone else's");
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    EXPECT_EQ(dump_process_list(sys_.root(), out_.path()), QVX_R_ACCESS);
    EXPECT_EQ(read_file(path), "someone else's");
    fs::remove(path);
  }
  write_file(path, std::string(100000, 'o'));  // our own old list: replaced, and made private
  chmod(path.c_str(), 0644);
  EXPECT_EQ(dump_process_list(sys_.root(), out_.path()), QVX_R_SUCCESS);
  EXPECT_TRUE(read_file(path).starts_with("PID\t"));
  EXPECT_EQ(mode_of(path), 0600);
  EXPECT_EQ(dump_process_list(system_root(sys_.at("/nothing")), out_.path()), QVX_R_NOT_SUPPORTED);
}

TEST_F(process_tools_test, scans_the_named_process) {
  EXPECT_EQ(run_process_tool(rec_.object(), sys_.root(), process_tool::scan, "100", out_.path()),
            QVX_R_SUCCESS);
  std::string mem = sys_.at("/proc/100/mem");
  EXPECT_EQ(rec_.detections, (lines{sys_.at("/usr/bin/evil") + " 1 Test-Virus",
                                    sys_.at("/usr/lib/libevil.so") + " 1 Test-Virus",
                                    mem + ">[heap] 00600000-00601000 1 Test-Virus",
                                    mem + ">[anon] 00800000-00802000 1 Test-Virus",
                                    mem + ">[stack] 00c00000-00c01000 1 Test-Virus"}));
  rec_.detections.clear();
  EXPECT_EQ(
      run_process_tool(rec_.object(), sys_.root(), process_tool::scan_heaps, "evil", out_.path()),
      QVX_R_SUCCESS);
  EXPECT_EQ(rec_.detections, (lines{mem + ">[heap] 00600000-00601000 1 Test-Virus",
                                    mem + ">[anon] 00800000-00802000 1 Test-Virus"}));
  EXPECT_TRUE(folder_names(out_.path()).empty());
}

TEST_F(process_tools_test, dumps_the_regions_each_tool_asks_for) {
  struct row {
    process_tool tool;
    lines files;
  };
  const row rows[] = {
      {process_tool::dump_image, {"100_evil_image_00400000-00401000.bin"}},
      {process_tool::dump_with_modules,
       {"100_evil_image_00400000-00401000.bin", "100_evil_module_00700000-00701000.bin",
        "100_evil_module_00900000-00901000.bin"}},
      {process_tool::dump_heaps,
       {"100_evil_heap_00600000-00601000.bin", "100_evil_heap_00800000-00802000.bin"}},
  };
  for (const row& r : rows) {
    scoped_temp_dir out;
    // Twice: a second dump replaces the files of the first.
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(run_process_tool(rec_.object(), sys_.root(), r.tool, "100", out.path()),
                QVX_R_SUCCESS);
    }
    EXPECT_EQ(folder_names(out.path()), r.files);
    for (const std::string& name : r.files) EXPECT_EQ(mode_of(out / name), 0600) << name;
  }
  scoped_temp_dir out;
  run_process_tool(rec_.object(), sys_.root(), process_tool::dump_heaps, "100", out.path());
  std::string heap = read_file(out / "100_evil_heap_00600000-00601000.bin");
  ASSERT_EQ(heap.size(), 4096u);
  EXPECT_EQ(heap.substr(100, virus_marker().size()), virus_marker());
  EXPECT_EQ(read_file(out / "100_evil_heap_00600000-00601000.bin").substr(0, 100),
            std::string(100, '\0'));
  EXPECT_TRUE(rec_.detections.empty());  // dumps scan nothing
}

TEST_F(process_tools_test, maps_tool_results) {
  struct row {
    const char* what;
    process_tool tool;
    std::string value;
    int32_t as_owner, as_nobody;  // as the fixture's owner, as another user
  };
  const row rows[] = {
      {"no such process", process_tool::scan, "nosuch", QVX_R_NOT_FOUND, QVX_R_NOT_FOUND},
      {"no such id", process_tool::dump_heaps, "4242", QVX_R_NOT_FOUND, QVX_R_NOT_FOUND},
      {"a kernel thread", process_tool::scan_heaps, "2", QVX_R_NOT_FOUND, QVX_R_NOT_FOUND},
      {"memory denied", process_tool::scan_heaps, "100", QVX_R_SUCCESS, QVX_R_ACCESS},
      {"dump denied", process_tool::dump_image, "evil", QVX_R_SUCCESS, QVX_R_ACCESS},
      {"image readable, memory not", process_tool::scan, "100", QVX_R_SUCCESS, QVX_R_SUCCESS},
  };
  chmod(out_.path().c_str(), 0777);
  for (const row& r : rows) {
    EXPECT_EQ(run_process_tool(rec_.object(), sys_.root(), r.tool, r.value, out_.path()),
              r.as_owner)
        << r.what;
    if (!can_become_nobody()) continue;
    EXPECT_EQ(run_as_nobody([&] {
                return run_process_tool(rec_.object(), sys_.root(), r.tool, r.value, out_.path());
              }),
              r.as_nobody)
        << r.what;
  }
}

TEST_F(process_tools_test, a_refused_dump_file_is_an_access_error) {
  ASSERT_EQ(symlink("/etc/passwd", (out_ / "100_evil_image_00400000-00401000.bin").c_str()), 0);
  EXPECT_EQ(
      run_process_tool(rec_.object(), sys_.root(), process_tool::dump_image, "100", out_.path()),
      QVX_R_ACCESS);
}

TEST(process_tools_real, finds_a_marker_in_a_running_process) {
  marker_process child;
  ASSERT_GT(child.pid(), 0);
  std::string pid = std::to_string(child.pid());
  std::string mem = "/proc/" + pid + "/mem>";
  scoped_temp_dir out;
  for (process_tool tool : {process_tool::scan, process_tool::scan_heaps}) {
    recording_object rec;
    EXPECT_EQ(run_process_tool(rec.object(), system_root(), tool, pid, out.path()), QVX_R_SUCCESS);
    bool found = std::any_of(rec.detections.begin(), rec.detections.end(), [&](const auto& d) {
      return d.starts_with(mem) && d.ends_with(" 1 Test-Virus");
    });
    EXPECT_TRUE(found) << ::testing::PrintToString(rec.detections);
  }
  recording_object rec;
  EXPECT_EQ(
      run_process_tool(rec.object(), system_root(), process_tool::dump_heaps, pid, out.path()),
      QVX_R_SUCCESS);
  bool dumped = false;
  for (const std::string& name : folder_names(out.path())) {
    dumped = dumped || read_file(out / name).find(virus_marker()) != std::string::npos;
  }
  EXPECT_TRUE(dumped);
}

}  // namespace
}  // namespace qorvex
