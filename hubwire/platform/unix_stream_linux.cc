#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "common/platform/eintr.h"
#include "hubwire/platform/unix_stream.h"

namespace platform {

namespace {

class socket_stream : public rpc::byte_stream {
 public:
  explicit socket_stream(int fd) : fd_(fd) {}
  ~socket_stream() override { ::close(fd_); }

  long read_some(uint8_t* p, size_t n) override {
    ssize_t r = common::retry_eintr([&] { return ::recv(fd_, p, n, 0); });
    return r >= 0 ? static_cast<long>(r) : -1;
  }

  bool write_all(const uint8_t* p, size_t n) override {
    while (n > 0) {
      // MSG_NOSIGNAL: a vanished peer is an error result, not a SIGPIPE.
      ssize_t r = common::retry_eintr([&] { return ::send(fd_, p, n, MSG_NOSIGNAL); });
      if (r < 0) return false;
      p += r;
      n -= static_cast<size_t>(r);
    }
    return true;
  }

  void shutdown() override { ::shutdown(fd_, SHUT_RDWR); }

  int wait_readable(int timeout_ms) override {
    pollfd p{fd_, POLLIN, 0};
    int r = common::retry_eintr([&] { return ::poll(&p, 1, timeout_ms); });
    return r < 0 ? -1 : r > 0 ? 1 : 0;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<rpc::byte_stream> connect_unix_stream(const std::string& path, int* os_error) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr.sun_path)) {
    *os_error = ENAMETOOLONG;
    return nullptr;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *os_error = errno;
    return nullptr;
  }
  int r = common::retry_eintr(
      [&] { return ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)); });
  if (r != 0) {
    *os_error = errno;
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<socket_stream>(fd);
}

std::unique_ptr<rpc::byte_stream> adopt_socket(int fd) {
  return std::make_unique<socket_stream>(fd);
}

}  // namespace platform
