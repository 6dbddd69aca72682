#include <errno.h>
#include <netdb.h>
#include <poll.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/platform/eintr.h"
#include "hubwire/rpc/utf.h"
#include "msgpost/platform/process.h"

namespace platform {

namespace {

std::u16string wide(const std::string& s) {
  std::u16string out;
  if (!rpc::utf8_to_utf16(s, &out)) {
    out.clear();
    for (unsigned char c : s) out.push_back(c < 0x80 ? c : u'?');
  }
  return out;
}

// A pidfd becomes readable when its process ends; it cannot be fooled by a
// later process that reuses the number.
class pidfd_handle : public process_handle {
 public:
  explicit pidfd_handle(int fd) : fd_(fd) {}
  ~pidfd_handle() override { close(fd_); }

  bool wait_exit(int timeout_ms) override {
    pollfd p{fd_, POLLIN, 0};
    int r = common::retry_eintr([&] { return poll(&p, 1, timeout_ms); });
    return r > 0;
  }

 private:
  int fd_;
};

class linux_process_services : public process_services {
 public:
  std::u16string user_name() override {
    uid_t uid = geteuid();
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buf(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd pw;
    passwd* found = nullptr;
    if (getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr) {
      return wide(found->pw_name);
    }
    return wide(std::to_string(uid));
  }

  std::u16string computer_name() override {
    char host[256] = {};
    if (gethostname(host, sizeof(host) - 1) != 0 || host[0] == '\0') return u"localhost";
    std::string name = host;
    if (name.find('.') != std::string::npos) return wide(name);
    addrinfo hints{};
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &res) == 0 && res != nullptr) {
      if (res->ai_canonname != nullptr && res->ai_canonname[0] != '\0') name = res->ai_canonname;
      freeaddrinfo(res);
    }
    return wide(name);
  }

  int32_t process_id() override { return static_cast<int32_t>(getpid()); }

  std::u16string module_name() override {
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof(path));
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(path)) return u"msgpost";
    std::string p(path, static_cast<size_t>(n));
    return wide(p.substr(p.find_last_of('/') + 1));
  }

  std::unique_ptr<process_handle> open_process(int32_t pid) override {
    if (pid <= 0) return nullptr;
    long fd = syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
    if (fd < 0) return nullptr;
    return std::make_unique<pidfd_handle>(static_cast<int>(fd));
  }
};

}  // namespace

process_services* default_process_services() {
  static linux_process_services services;
  return &services;
}

}  // namespace platform
