#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "common/platform/folders.h"
#include "hubsvc/daemon.h"

namespace hubsvc {

std::string runtime_dir() {
  const char* dir = getenv("HUBSVC_RUNTIME_DIR");
  return dir && *dir ? dir : "/run/hubsvc";
}

bool make_runtime_dir(const std::string& dir, std::string* err) {
  std::string refused;
  if (common::make_folders(dir, 0755, &refused)) return true;
  *err = refused.empty() ? dir + ": not a directory" : refused + ": " + strerror(errno);
  return false;
}

pid_file::~pid_file() {
  if (fd_ >= 0) close(fd_);
}

bool pid_file::lock(const std::string& path, bool* busy, std::string* err) {
  *busy = false;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    *err = path + ": " + strerror(errno);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *busy = errno == EWOULDBLOCK;
    *err = path + (*busy ? ": another hubsvc is running" : std::string(": ") + strerror(errno));
    close(fd);
    return false;
  }
  path_ = path;
  fd_ = fd;
  return true;
}

bool pid_file::write_pid(std::string* err) {
  std::string text = std::to_string(getpid()) + "\n";
  if (ftruncate(fd_, 0) != 0 ||
      pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    *err = path_ + ": " + strerror(errno);
    return false;
  }
  return true;
}

void pid_file::remove() {
  if (fd_ >= 0) unlink(path_.c_str());
}

namespace {

sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

void block_stop_signals() {
  sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // A client that vanishes mid-write is an error result, never a signal.
  signal(SIGPIPE, SIG_IGN);
}

int wait_for_stop_signal() {
  sigset_t set = stop_signals();
  int sig;
  while (sigwait(&set, &sig) != 0) {
  }
  return sig;
}

void notify_ready() {
  const char* name = getenv("NOTIFY_SOCKET");
  if (name == nullptr || (name[0] != '/' && name[0] != '@')) return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  size_t len = strlen(name);
  if (len >= sizeof(addr.sun_path)) return;
  std::memcpy(addr.sun_path, name, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';
  int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd >= 0) {
    std::string msg = "READY=1\nMAINPID=" + std::to_string(getpid());
    sendto(fd, msg.data(), msg.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&addr),
           static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len));
    close(fd);
  }
  unsetenv("NOTIFY_SOCKET");
}

}  // namespace hubsvc
