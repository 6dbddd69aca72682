// The parts of running as a daemon: the runtime folder, the pid file and its
// lock, the readiness notice to systemd, and waiting for a stop signal.
#ifndef HUBSVC_DAEMON_H_
#define HUBSVC_DAEMON_H_

#include <string>

namespace hubsvc {

// $HUBSVC_RUNTIME_DIR when set and not empty, else /run/hubsvc.
std::string runtime_dir();

// Creates the folder (mode 0755) and any missing parents. False with *err.
bool make_runtime_dir(const std::string& dir, std::string* err);

// Holds an exclusive lock on the pid file for as long as it lives, so
// clients can tell a live daemon from a stale file.
class pid_file {
 public:
  ~pid_file();
  // Opens and locks path. False with *err; *busy tells whether another
  // daemon holds the lock.
  bool lock(const std::string& path, bool* busy, std::string* err);
  // Writes this process's id into the locked file.
  bool write_pid(std::string* err);
  // Removes the file (still locked, so no other daemon can be mid-start).
  void remove();

 private:
  std::string path_;
  int fd_ = -1;
};

// Blocks the stop signals in this thread and every thread it starts later.
void block_stop_signals();
// Waits for SIGTERM, SIGINT or SIGHUP and returns its number.
int wait_for_stop_signal();

// Sends READY=1 to $NOTIFY_SOCKET when it is set, then unsets it. A socket
// name beginning with "@" is in the abstract namespace.
void notify_ready();

}  // namespace hubsvc

#endif  // HUBSVC_DAEMON_H_
