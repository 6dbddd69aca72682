// hubsvc: the dispatcher service. It creates its runtime folder, locks its
// pid file, listens on the socket dspIfEp there, tells systemd it is ready,
// and serves until SIGTERM (or SIGINT, SIGHUP), when it ends every
// connection and removes the socket and the pid file.
#include <cstdio>
#include <string>

#include "hubsvc/daemon.h"
#include "hubsvc/log_throttle.h"
#include "hubsvc/registry.h"
#include "hubsvc/server.h"
#include "hubsvc/system_log.h"

namespace {

int fail(const std::string& err) {
  fprintf(stderr, "hubsvc: %s\n", err.c_str());
  hubsvc::system_log(hubsvc::log_level::error, "not started: " + err);
  return 1;
}

}  // namespace

int main(int argc, char**) {
  if (argc > 1) {
    fprintf(stderr,
            "usage: hubsvc (the runtime folder is $HUBSVC_RUNTIME_DIR, else /run/hubsvc)\n");
    return 2;
  }
  hubsvc::open_system_log();
  std::string err;
  std::string dir = hubsvc::runtime_dir();
  if (!hubsvc::make_runtime_dir(dir, &err)) return fail(err);
  hubsvc::pid_file pid;
  bool busy = false;
  if (!pid.lock(dir + "/hubsvc.pid", &busy, &err)) return fail(err);

  // Before any thread starts, so that only the main thread takes the signals.
  hubsvc::block_stop_signals();
  hubsvc::log_throttle name_log;
  hubsvc::registry reg(
      {}, [&name_log](const std::string& line) { name_log.log(hubsvc::log_level::notice, line); });
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
  hubsvc::system_log(hubsvc::log_level::info, "started, listening on " + dir + "/dspIfEp");
  hubsvc::notify_ready();
  int sig = hubsvc::wait_for_stop_signal();
  hubsvc::system_log(hubsvc::log_level::info,
                     "stopping on signal " + std::to_string(sig) + ", ending every connection");
  srv.stop();
  pid.remove();
  hubsvc::system_log(hubsvc::log_level::info, "stopped");
  return 0;
}
