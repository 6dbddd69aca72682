// The dispatcher's listening socket and its connections, one thread each.
#ifndef HUBSVC_SERVER_H_
#define HUBSVC_SERVER_H_

#include <cstddef>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "hubsvc/registry.h"

namespace hubsvc {

class connection;

class server {
 public:
  // Most connections served at once; more are closed as they arrive.
  static constexpr size_t kMaxConnections = 256;

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
    bool done = false;
  };
  void accept_loop();
  void reap_finished();

  registry* reg_;
  std::string path_;
  int listen_fd_ = -1;
  std::thread acceptor_;
  std::mutex mu_;  // guards workers_ and stopping_
  std::list<worker> workers_;
  bool stopping_ = false;
};

}  // namespace hubsvc

#endif  // HUBSVC_SERVER_H_
