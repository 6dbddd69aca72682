// A service manager that plays back scripted states and records what it was
// asked; connections go to a real endpoint path when one is set.
#ifndef MSGPOST_PLATFORM_SERVICE_MANAGER_FAKE_H_
#define MSGPOST_PLATFORM_SERVICE_MANAGER_FAKE_H_

#include <atomic>
#include <deque>
#include <string>
#include <vector>

#include "msgpost/platform/service_manager.h"

namespace platform {

class service_manager_fake : public service_manager {
 public:
  int open_service(const std::string& name) override;
  service_state query_state() override;
  void sleep_ms(int ms) override { sleeps.push_back(ms); }
  std::unique_ptr<rpc::byte_stream> connect_endpoint(endpoint_error* error) override;

  int open_error = 0;                                   // what open_service returns
  std::deque<service_state> states;                     // answers to query_state; then stopped
  std::string endpoint;                                 // socket path; empty refuses connections
  endpoint_error connect_error = endpoint_error::none;  // when set, every connection fails with it

  std::vector<std::string> opened;  // names passed to open_service
  int queries = 0;
  std::vector<int> sleeps;
  std::atomic<int> connects = 0;
};

}  // namespace platform

#endif  // MSGPOST_PLATFORM_SERVICE_MANAGER_FAKE_H_
