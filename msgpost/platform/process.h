// The calling process's identity, and waiting for another process to end.
#ifndef MSGPOST_PLATFORM_PROCESS_H_
#define MSGPOST_PLATFORM_PROCESS_H_

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// A process opened for waiting.
class process_handle {
 public:
  virtual ~process_handle() = default;
  // Waits up to timeout_ms (0 just looks) for the process to end; true once
  // it has ended.
  virtual bool wait_exit(int timeout_ms) = 0;
};

class process_services {
 public:
  virtual ~process_services() = default;
  // The effective user's login name from the password database, or the uid
  // in decimal when it has no entry; as the system gives it (not lowered).
  virtual std::u16string user_name() = 0;
  // The host's fully qualified name: the host name when it has a dot, else
  // its canonical name from the resolver, else the short name ("localhost"
  // when empty).
  virtual std::u16string computer_name() = 0;
  virtual int32_t process_id() = 0;
  // The file name (no folder) of the running program.
  virtual std::u16string module_name() = 0;
  // Opens the process pid for waiting; null when there is no such process
  // or it may not be watched (pid 0 and negative numbers name none).
  virtual std::unique_ptr<process_handle> open_process(int32_t pid) = 0;
};

// Thread-safe; lives for the whole process.
process_services* default_process_services();

}  // namespace platform

#endif  // MSGPOST_PLATFORM_PROCESS_H_
