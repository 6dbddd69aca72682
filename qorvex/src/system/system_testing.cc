#include "qorvex/src/system/system_testing.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

namespace qorvex {
namespace fs = std::filesystem;

std::string virus_marker() { return std::string("MARK-VIRUS") + "-ONE"; }
std::string boot_marker() { return std::string("MARK-BOOT") + "-SIX"; }

std::string system_test_source() {
  return test_source() + "pattern Test-Boot kind=6 accuracy=1 : \"MARK-BOOT\" \"-SIX\"\n";
}

recording_object::recording_object()
    : object_(std::make_unique<engine_object>(compile_set(system_test_source()), on_event, this)) {
  int32_t mask = QVX_EV_SCANNING | QVX_EV_DETECTION | QVX_EV_STATUS | QVX_EV_ACTION;
  EXPECT_EQ(object_->set_property(QVX_P_EVENT_MASK, 0, &mask, sizeof mask), QVX_R_SUCCESS);
}

int32_t recording_object::on_event(qvx_handle, int32_t event, void* context) {
  auto* self = static_cast<recording_object*>(context);
  auto text = [&](int32_t property) {
    char buffer[10240] = {};
    self->object_->get_property(property, 0, buffer, sizeof buffer);
    return std::string(buffer);
  };
  if (event == QVX_EV_SCANNING) self->scanned.push_back(text(QVX_P_OBJECT_NAME));
  if (event == QVX_EV_DETECTION) {
    int32_t kind = -1;
    self->object_->get_property(QVX_P_KIND, 0, &kind, sizeof kind);
    self->detections.push_back(text(QVX_P_OBJECT_NAME) + text(QVX_P_INNER_NAME) + " " +
                               std::to_string(kind) + " " + text(QVX_P_MALWARE_NAME));
  }
  if (event == QVX_EV_ACTION) {
    int32_t code = -1;
    self->object_->get_property(QVX_P_STATUS, 0, &code, sizeof code);
    self->actions.push_back(text(QVX_P_OBJECT_NAME) + " " + std::to_string(code));
  }
  return 0;
}

uint64_t recording_object::counter(int32_t property) {
  uint64_t value = 0;
  EXPECT_EQ(object_->get_property(property, 0, &value, sizeof value), QVX_R_SUCCESS) << property;
  return value;
}

fake_system::fake_system() {
  // Readable by everyone, so that tests run as nobody see what the fixture allows them.
  chmod(dir().c_str(), 0755);
}

void fake_system::file(const std::string& system_path, const std::string& content, int mode) {
  write_file(at(system_path), content);
  chmod(at(system_path).c_str(), mode_t(mode));
}

void fake_system::link(const std::string& system_path, const std::string& target) {
  fs::create_directories(fs::path(at(system_path)).parent_path());
  ASSERT_EQ(symlink(target.c_str(), at(system_path).c_str()), 0) << system_path;
}

void fake_system::folder(const std::string& system_path) {
  fs::create_directories(at(system_path));
}

void fake_system::disk(const std::string& name, const std::string& image, uint32_t sector_size,
                       const std::vector<partition>& partitions, bool virtual_device) {
  std::string device = virtual_device ? "/sys/devices/virtual/block/" + name
                                      : "/sys/devices/pci0000:00/0000:00:05.0/block/" + name;
  file(device + "/size", std::to_string(image.size() / 512) + "\n");
  file(device + "/queue/logical_block_size", std::to_string(sector_size) + "\n");
  file(device + "/uevent", "MAJOR=8\nMINOR=0\nDEVNAME=" + name + "\nDEVTYPE=disk\n");
  for (const partition& p : partitions) {
    file(device + "/" + p.name + "/partition", "1\n");
    file(device + "/" + p.name + "/start", std::to_string(p.start) + "\n");
    file(device + "/" + p.name + "/uevent", "DEVNAME=" + p.name + "\nDEVTYPE=partition\n");
  }
  link("/sys/block/" + name, "../devices/" + device.substr(std::string("/sys/devices/").size()));
  file("/dev/" + name, image, 0660);
}

void fake_system::process(int pid, const std::string& comm, const std::string& exe,
                          const std::string& maps, const std::vector<region_bytes>& memory,
                          bool kernel_thread) {
  std::string base = "/proc/" + std::to_string(pid);
  // Flags: PF_KTHREAD for the kernel's threads, PF_RANDOMIZE otherwise.
  std::string flags = kernel_thread ? "2129984" : "4194304";
  file(base + "/stat", std::to_string(pid) + " (" + comm + ") S 1 " + std::to_string(pid) + " " +
                           std::to_string(pid) + " 0 -1 " + flags + " 0 0 0 0 0 0 0 0 20 0 1\n");
  file(base + "/comm", comm + "\n");
  file(base + "/cmdline", comm + std::string(1, '\0') + "--flag" + std::string(1, '\0'));
  file(base + "/maps", maps, 0444);
  if (!exe.empty()) link(base + "/exe", at(exe));
  file(base + "/mem", "", 0600);
  int fd = open(at(base + "/mem").c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  for (const region_bytes& r : memory) {
    ASSERT_EQ(pwrite(fd, r.bytes.data(), r.bytes.size(), off_t(r.address)),
              ssize_t(r.bytes.size()));
  }
  close(fd);
}

bool can_become_nobody() { return geteuid() == 0; }

int32_t run_as_nobody(const std::function<int32_t()>& step) {
  pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
        setresuid(65534, 65534, 65534) != 0) {
      _exit(100);
    }
    _exit(step() & 0xff);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return 99;
  return int8_t(uint8_t(WEXITSTATUS(status)));
}

marker_process::marker_process() {
  int ready[2], hold[2];
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(hold, O_CLOEXEC) != 0) return;
  pid_t child = fork();
  if (child == 0) {
    dup2(hold[0], 0);
    dup2(ready[1], 1);
    // The marker is joined from two halves inside the shell, so only its memory holds it whole.
    execl("/bin/sh", "sh", "-c", "a=MARK-VIRUS; b=-ONE; m=\"$a$b\"; echo ready; read x", nullptr);
    _exit(127);
  }
  close(ready[1]);
  close(hold[0]);
  char buffer[8] = {};
  if (child > 0 && read(ready[0], buffer, 6) == 6) pid_ = child;
  close(ready[0]);
  // sh waits on its input until the write end, held here, is closed.
  if (pid_ < 0 && child > 0) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  hold_fd_ = hold[1];
}

marker_process::~marker_process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (hold_fd_ >= 0) close(hold_fd_);
}

}  // namespace qorvex
