// The dispatcher's listening socket and its connections, one thread each.
#ifndef HUBSVC_SERVER_H_
#define HUBSVC_SERVER_H_

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "hubsvc/log_throttle.h"
#include "hubsvc/registry.h"

struct ucred;

namespace hubsvc {

class connection;

class server {
 public:
  // Most connections served at once, and of one user (by SO_PEERCRED uid), so that one user can
  // never take them all; more are closed as they arrive.
  static constexpr size_t kMaxConnections = 256;
  static constexpr size_t kMaxConnectionsPerUser = 32;

  explicit server(registry* reg);
  ~server();

  // Binds and listens on a Unix socket at path (a stale one is replaced),
  // readable and writable by every local user. False with *err on failure.
  bool listen_at(const std::string& path, std::string* err);
  // Accepts connections on a thread of its own until stop().
  void start();
  // Stops accepting, ends every connection and its blocked calls, joins all
  // threads and removes the socket.
  void stop();

 private:
  struct worker {
    std::unique_ptr<connection> conn;
    std::thread thread;
    uint32_t uid = 0;
    bool done = false;
  };
  void accept_loop();
  void reap_finished();
  // Takes a new connection on, or says why not (the caller closes it).
  std::string admit(int fd, const ucred& cred);
  void serve(worker* w);

  registry* reg_;
  std::string path_;
  int listen_fd_ = -1;
  std::thread acceptor_;
  std::mutex mu_;  // guards workers_, per_user_ and stopping_
  std::list<worker> workers_;
  std::map<uint32_t, size_t> per_user_;  // live connections by uid
  bool stopping_ = false;
  log_throttle refused_log_;
  log_throttle timeout_log_;
};

}  // namespace hubsvc

#endif  // HUBSVC_SERVER_H_
