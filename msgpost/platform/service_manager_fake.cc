#include "msgpost/platform/service_manager_fake.h"

#include "hubwire/platform/unix_stream.h"

namespace platform {

int service_manager_fake::open_service(const std::string& name) {
  opened.push_back(name);
  return open_error;
}

service_state service_manager_fake::query_state() {
  ++queries;
  if (states.empty()) return service_state::stopped;
  service_state s = states.front();
  states.pop_front();
  return s;
}

std::unique_ptr<rpc::byte_stream> service_manager_fake::connect_endpoint(endpoint_error* error) {
  ++connects;
  if (connect_error != endpoint_error::none || endpoint.empty()) {
    *error = connect_error != endpoint_error::none ? connect_error : endpoint_error::not_listening;
    return nullptr;
  }
  int os_error = 0;
  auto s = connect_unix_stream(endpoint, &os_error);
  *error = s ? endpoint_error::none : classify_connect_error(os_error);
  return s;
}

}  // namespace platform
