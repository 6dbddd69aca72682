#include "hubsvc/server.h"

#include <errno.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "hubsvc/connection.h"
#include "hubsvc/system_log.h"

namespace hubsvc {

namespace {

// admit()'s answer while the service stops: not worth a line in the log.
const char kStopping[] = "stopping";

}  // namespace

server::server(registry* reg) : reg_(reg) {}

server::~server() { stop(); }

bool server::listen_at(const std::string& path, std::string* err) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof(addr.sun_path)) {
    *err = path + ": path too long for a socket";
    return false;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *err = std::string("socket: ") + strerror(errno);
    return false;
  }
  unlink(path.c_str());
  // Any local user may post: the socket is made 0666.
  mode_t old_mask = umask(0111);
  int r = bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  int bind_errno = errno;
  umask(old_mask);
  if (r != 0 || listen(fd, 64) != 0) {
    *err = path + ": " + strerror(r != 0 ? bind_errno : errno);
    close(fd);
    return false;
  }
  path_ = path;
  listen_fd_ = fd;
  return true;
}

void server::start() { acceptor_ = std::thread(&server::accept_loop, this); }

void server::reap_finished() {
  std::list<worker> finished;
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), workers_, it);
      it = next;
    }
  }
  for (worker& w : finished) w.thread.join();
}

void server::accept_loop() {
  for (;;) {
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    reap_finished();
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      std::lock_guard<std::mutex> lock(mu_);
      if (stopping_) return;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        // Out of descriptors: back off instead of spinning.
        usleep(100 * 1000);
        continue;
      }
      return;
    }
    ucred cred{};
    socklen_t len = sizeof(cred);
    // Without the caller's credentials its association group could not be tied to its user, nor
    // its connection counted against that user.
    bool known = getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0;
    std::string why = known ? admit(fd, cred) : "its credentials could not be read";
    if (why.empty()) continue;
    close(fd);
    if (why == kStopping) continue;
    // Logged outside the lock: the log may be slow.
    std::string who =
        known ? " of uid " + std::to_string(cred.uid) + " (pid " + std::to_string(cred.pid) + ")"
              : "";
    refused_log_.log(log_level::notice, "refused a connection" + who + ": " + why);
  }
}

std::string server::admit(int fd, const ucred& cred) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stopping_) return kStopping;
  if (workers_.size() >= kMaxConnections) {
    return "all " + std::to_string(kMaxConnections) + " connections are in use";
  }
  size_t& mine = per_user_[cred.uid];
  if (mine >= kMaxConnectionsPerUser) {
    return "the user holds " + std::to_string(kMaxConnectionsPerUser) + " connections already";
  }
  ++mine;
  workers_.emplace_back();
  worker& w = workers_.back();
  w.uid = cred.uid;
  w.conn = std::make_unique<connection>(
      fd, reg_, peer_cred{cred.pid, static_cast<uint32_t>(cred.uid), cred.gid});
  w.thread = std::thread(&server::serve, this, &w);
  return {};
}

void server::serve(worker* w) {
  peer_cred cred = w->conn->cred();
  bool timed_out = w->conn->serve() == connection::ending::timed_out;
  std::unique_ptr<connection> finished;
  {
    std::lock_guard<std::mutex> lock(mu_);
    finished = std::move(w->conn);
    w->done = true;
    auto it = per_user_.find(w->uid);
    if (--it->second == 0) per_user_.erase(it);
  }
  // Destroyed outside the lock: leaving the group takes the registry's lock.
  finished.reset();
  if (timed_out) {
    timeout_log_.log(log_level::notice, "closed a connection of uid " + std::to_string(cred.uid) +
                                            " (pid " + std::to_string(cred.pid) +
                                            "): a request was not complete in time");
  }
}

void server::stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (stopping_ || listen_fd_ < 0) return;
    stopping_ = true;
    for (worker& w : workers_) {
      if (w.conn) w.conn->stop();
    }
  }
  // Wakes the blocked accept().
  shutdown(listen_fd_, SHUT_RDWR);
  reg_->stop();
  if (acceptor_.joinable()) acceptor_.join();
  for (worker& w : workers_) w.thread.join();
  workers_.clear();
  close(listen_fd_);
  listen_fd_ = -1;
  unlink(path_.c_str());
}

}  // namespace hubsvc
