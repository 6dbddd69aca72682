// Helpers for the system-area tests: a fake system root laid out like the real one (proc, sys,
// dev, etc), an engine object that records what it reports, and a way to run a step as an
// unprivileged user.
#ifndef QORVEX_SRC_SYSTEM_SYSTEM_TESTING_H_
#define QORVEX_SRC_SYSTEM_SYSTEM_TESTING_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "qorvex/src/engine_object.h"
#include "qorvex/src/system/system_root.h"
#include "qorvex/src/testing.h"

namespace qorvex {

// The markers of system_test_source(), built at run time so that no file of the tests holds
// them whole (the test binary's own image is scanned by some tests).
std::string virus_marker();  // matches Test-Virus, kind 1
std::string boot_marker();   // matches Test-Boot, kind 6

// test_source() plus a boot-record signature of kind 6.
std::string system_test_source();

// An engine object over system_test_source() that records events: one line per detection,
// "<object><inner> <kind> <malware name>", the object name of every scanned object, and one line
// per event 512, "<object> <code>".
class recording_object {
 public:
  recording_object();
  engine_object& object() { return *object_; }
  std::vector<std::string> detections;
  std::vector<std::string> scanned;
  std::vector<std::string> actions;
  // A counter property of the object (files processed, objects detected, ...).
  uint64_t counter(int32_t property);

 private:
  static int32_t on_event(qvx_handle, int32_t event, void* context);
  std::unique_ptr<engine_object> object_;
};

// A folder that stands for "/" (system_root.h), removed at the end.
class fake_system {
 public:
  fake_system();
  const std::string& dir() const { return temp_.path(); }
  system_root root() const { return system_root(dir()); }
  // The fake path of a system path: dir() + system_path.
  std::string at(const std::string& system_path) const { return dir() + system_path; }

  void file(const std::string& system_path, const std::string& content, int mode = 0644);
  void link(const std::string& system_path, const std::string& target);
  void folder(const std::string& system_path);

  struct partition {
    std::string name;
    uint64_t start = 0;  // 512-byte units
  };
  // /sys/block/<name> (a link into /sys/devices/..., virtual when asked) with size, sector size,
  // uevent and partitions, and the image as /dev/<name>.
  void disk(const std::string& name, const std::string& image, uint32_t sector_size = 512,
            const std::vector<partition>& partitions = {}, bool virtual_device = false);

  struct region_bytes {
    uint64_t address = 0;
    std::string bytes;
  };
  // /proc/<pid> with stat, comm, an exe link to the fake path of `exe` (none when empty), maps
  // and a sparse mem file holding the given bytes at their addresses.
  void process(int pid, const std::string& comm, const std::string& exe, const std::string& maps,
               const std::vector<region_bytes>& memory = {}, bool kernel_thread = false);

 private:
  scoped_temp_dir temp_;
};

// Whether this process may become another user (it runs as root): the checks of what a normal
// user meets are skipped otherwise, since the fixtures then belong to that user.
bool can_become_nobody();

// Runs `step` in a child process as user and group 65534 (nobody) and gives its result, which
// the child passes back as its exit status: a result from -128 to 127.
int32_t run_as_nobody(const std::function<int32_t()>& step);

// A child process (sh) that holds virus_marker() in its heap until it is stopped; killed and
// reaped by pid when the object goes.
class marker_process {
 public:
  marker_process();
  ~marker_process();
  int pid() const { return pid_; }  // -1 when the child could not be started

 private:
  int pid_ = -1;
  int hold_fd_ = -1;  // the write end of the child's standard input
};

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_SYSTEM_TESTING_H_
