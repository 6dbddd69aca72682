// hubsvc: the dispatcher service. It creates its runtime folder, locks its
// pid file, listens on the socket dspIfEp there, tells systemd it is ready,
// and serves until SIGTERM (or SIGINT, SIGHUP), when it ends every
// connection and removes the socket and the pid file.
#include <cstdio>
#include <string>

#include "hubsvc/daemon.h"
#include "hubsvc/registry.h"
#include "hubsvc/server.h"

namespace {

int fail(const std::string& err) {
  fprintf(stderr, "hubsvc: %s\n", err.c_str());
  return 1;
}

}  // namespace

int main(int argc, char**) {
  if (argc > 1) {
    fprintf(stderr,
            "usage: hubsvc (the runtime folder is $HUBSVC_RUNTIME_DIR, else /run/hubsvc)\n");
    return 2;
  }
  std::string err;
  std::string dir = hubsvc::runtime_dir();
  if (!hubsvc::make_runtime_dir(dir, &err)) return fail(err);
  hubsvc::pid_file pid;
  bool busy = false;
  if (!pid.lock(dir + "/hubsvc.pid", &busy, &err)) return fail(err);

  // Before any thread starts, so that only the main thread takes the signals.
  hubsvc::block_stop_signals();
  hubsvc::registry reg;
  hubsvc::server srv(&reg);
  if (!srv.listen_at(dir + "/dspIfEp", &err)) {
    pid.remove();
    return fail(err);
  }
  // The pid is written once the socket listens: a pid in the file means ready.
  if (!pid.write_pid(&err)) {
    srv.stop();
    pid.remove();
    return fail(err);
  }
  srv.start();
  hubsvc::notify_ready();
  hubsvc::wait_for_stop_signal();
  srv.stop();
  pid.remove();
  return 0;
}
