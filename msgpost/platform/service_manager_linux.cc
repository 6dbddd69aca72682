#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "hubwire/platform/unix_stream.h"
#include "msgpost/platform/service_manager.h"

namespace platform {

std::string service_runtime_dir() {
  const char* dir = getenv("HUBSVC_RUNTIME_DIR");
  return dir && *dir ? dir : "/run/hubsvc";
}

endpoint_error classify_connect_error(int os_error) {
  switch (os_error) {
    case ENOENT:
    case ECONNREFUSED:
    case ENOTDIR:
      return endpoint_error::not_listening;
    case EACCES:
    case EPERM:
      return endpoint_error::access_denied;
    case ENOMEM:
    case ENOBUFS:
    case EMFILE:
    case ENFILE:
      return endpoint_error::no_memory;
    default:
      return endpoint_error::invalid;
  }
}

namespace {

class runtime_dir_service_manager : public service_manager {
 public:
  int open_service(const std::string& name) override {
    if (name != "hubsvc") return ENOENT;  // the only service this stand-in knows
    std::string dir = service_runtime_dir();
    struct stat st;
    if (stat(dir.c_str(), &st) != 0) return errno;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    dir_ = dir;
    return 0;
  }

  service_state query_state() override {
    endpoint_error err;
    if (connect_endpoint(&err)) return service_state::running;
    return lock_is_held() ? service_state::start_pending : service_state::stopped;
  }

  void sleep_ms(int ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

  std::unique_ptr<rpc::byte_stream> connect_endpoint(endpoint_error* error) override {
    int os_error = 0;
    auto s = connect_unix_stream(dir_ + "/dspIfEp", &os_error);
    *error = s ? endpoint_error::none : classify_connect_error(os_error);
    return s;
  }

 private:
  // The daemon holds an exclusive lock on its pid file for as long as it
  // lives, so a taken lock cannot be mistaken for a reused pid.
  bool lock_is_held() {
    int fd = open((dir_ + "/hubsvc.pid").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
  }

  std::string dir_ = "/run/hubsvc";
};

}  // namespace

service_manager* default_service_manager() {
  static runtime_dir_service_manager manager;
  return &manager;
}

}  // namespace platform
