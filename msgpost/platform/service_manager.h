// The service manager as the dispatcher client sees it. On Linux the service
// "hubsvc" is its runtime folder ($HUBSVC_RUNTIME_DIR, else /run/hubsvc):
// installed when the folder exists, running when a connection to its socket
// dspIfEp succeeds, start pending while a live daemon holds the lock on
// hubsvc.pid but does not listen yet, stopped otherwise.
#ifndef MSGPOST_PLATFORM_SERVICE_MANAGER_H_
#define MSGPOST_PLATFORM_SERVICE_MANAGER_H_

#include <memory>
#include <string>

#include "hubwire/rpc/byte_stream.h"

namespace platform {

enum class service_state { stopped, start_pending, running };

// Why a connection to the endpoint failed.
enum class endpoint_error {
  none,
  not_listening,  // no socket, or nothing accepts on it
  access_denied,  // the socket may not be used by this user
  no_memory,      // the system is out of memory or buffers
  invalid,        // the endpoint's address cannot be formed or used
};

class service_manager {
 public:
  virtual ~service_manager() = default;
  // 0 when the service is installed; else the system error code that says
  // why it cannot be opened (ENOENT, ENOTDIR, EACCES).
  virtual int open_service(const std::string& name) = 0;
  // The state of the service opened last. The probe connection of a running
  // service is closed at once.
  virtual service_state query_state() = 0;
  // Sleeps between two queries of the state.
  virtual void sleep_ms(int ms) = 0;
  // A new connection to the service's RPC endpoint, or null with *error set.
  // Thread-safe.
  virtual std::unique_ptr<rpc::byte_stream> connect_endpoint(endpoint_error* error) = 0;
};

// Reads $HUBSVC_RUNTIME_DIR once per call of open_service. Thread-safe apart
// from open_service, which the client calls before any other thread exists.
service_manager* default_service_manager();

// Turns the errno of a failed connect into the kind of failure.
endpoint_error classify_connect_error(int os_error);

// The service's runtime folder: $HUBSVC_RUNTIME_DIR when set and not empty,
// else /run/hubsvc.
std::string service_runtime_dir();

}  // namespace platform

#endif  // MSGPOST_PLATFORM_SERVICE_MANAGER_H_
