#include "qorvex/src/system/system_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "qorvex/src/system/process_fixture.h"
#include "qorvex/src/system/system_testing.h"

namespace qorvex {
namespace {

using lines = std::vector<std::string>;

uint64_t address_of(const void* p) { return uint64_t(reinterpret_cast<uintptr_t>(p)); }

// Points QORVEX_SYSTEM_ROOT and TMPDIR at fixtures for one test.
class system_commands_test : public ::testing::Test {
 protected:
  system_commands_test() {
    add_fake_processes(sys_);
    std::string image(64 * 512, '\0');
    image.replace(0, boot_marker().size(), boot_marker());
    sys_.disk("vda", image, 512, {{"vda1", 0}});
    sys_.file("/etc/rc.local", virus_marker());
    setenv(kSystemRootVariable, sys_.dir().c_str(), 1);
    setenv("TMPDIR", tmp_.path().c_str(), 1);
  }
  ~system_commands_test() override {
    unsetenv(kSystemRootVariable);
    unsetenv("TMPDIR");
  }
  int32_t run(int32_t command, const char* argument = nullptr, uint64_t first = 0,
              uint64_t second = 0) {
    return run_system_command(rec_.object(), command, argument, first, second);
  }

  fake_system sys_;
  scoped_temp_dir tmp_;
  recording_object rec_;
};

TEST_F(system_commands_test, runs_each_command_on_the_root_it_is_given) {
  EXPECT_EQ(run(QVX_CMD_SCAN_MBR), QVX_R_SUCCESS);
  EXPECT_EQ(run(QVX_CMD_SCAN_GPT), QVX_R_SUCCESS);
  EXPECT_EQ(run(QVX_CMD_SCAN_BOOT_SECTORS), QVX_R_SUCCESS);
  EXPECT_EQ(run(QVX_CMD_SCAN_STARTUP), QVX_R_SUCCESS);
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY), QVX_R_SUCCESS);
  int32_t advanced = 1;
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, nullptr, 0, address_of(&advanced)), QVX_R_SUCCESS);
  std::string mem = sys_.at("/proc/100/mem");
  EXPECT_EQ(rec_.detections, (lines{sys_.at("/dev/vda") + ">MBR 6 Test-Boot",
                                    sys_.at("/dev/vda1") + ">boot sector 6 Test-Boot",
                                    sys_.at("/etc/rc.local") + " 1 Test-Virus",
                                    sys_.at("/usr/bin/evil") + " 1 Test-Virus",
                                    sys_.at("/usr/lib/libevil.so") + " 1 Test-Virus",
                                    sys_.at("/usr/lib/libgone.so (deleted)") + " 1 Test-Virus",
                                    mem + ">[heap] 00600000-00601000 1 Test-Virus",
                                    mem + ">[anon] 00800000-00802000 1 Test-Virus",
                                    mem + ">[stack] 00c00000-00c01000 1 Test-Virus"}));
}

TEST_F(system_commands_test, runs_the_process_tools_by_name) {
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, "--dumpProcessList"), QVX_R_SUCCESS);
  EXPECT_TRUE(read_file(tmp_ / "auth_log.txt").starts_with("PID\tPPID\t"));
  struct row {
    const char* tool;
    const char* value;
    int32_t result;
  };
  const row rows[] = {
      {"--scanProcess", "100", QVX_R_SUCCESS},
      {"--scanProcess", "nosuch", QVX_R_NOT_FOUND},
      {"--dumpProcessAndModulesMemImage", "evil", QVX_R_SUCCESS},
      {"--dumpProcessOnlyMemImage", "100", QVX_R_SUCCESS},
      {"--scanProcessHeaps", "twin", QVX_R_SUCCESS},
      {"--dumpProcessHeaps", "", QVX_R_NOT_FOUND},
  };
  for (const row& r : rows) {
    EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, r.tool, address_of(r.value)), r.result) << r.tool;
  }
}

TEST_F(system_commands_test, refuses_malformed_requests) {
  int32_t two = 2;
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, nullptr, 0, address_of(&two)), QVX_R_INVALID_DATA);
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, "--scanProcess"), QVX_R_INVALID_DATA);  // no value
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, "--scanprocess", address_of("1")), QVX_R_INVALID_DATA);
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, ""), QVX_R_INVALID_DATA);
  EXPECT_EQ(run(99), QVX_R_INVALID_DATA);
}

TEST_F(system_commands_test, an_empty_root_has_nothing_to_offer) {
  scoped_temp_dir empty;
  setenv(kSystemRootVariable, empty.path().c_str(), 1);
  int32_t advanced = 1;
  EXPECT_EQ(run(QVX_CMD_SCAN_MBR), QVX_R_NOT_SUPPORTED);
  EXPECT_EQ(run(QVX_CMD_SCAN_BOOT_SECTORS), QVX_R_NOT_SUPPORTED);
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY), QVX_R_NOT_SUPPORTED);
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, nullptr, 0, address_of(&advanced)), QVX_R_NOT_SUPPORTED);
  EXPECT_EQ(run(QVX_CMD_SCAN_MEMORY, "--dumpProcessList"), QVX_R_NOT_SUPPORTED);
  EXPECT_EQ(run(QVX_CMD_SCAN_STARTUP), QVX_R_SUCCESS);
  EXPECT_TRUE(rec_.scanned.empty());
}

}  // namespace
}  // namespace qorvex
