#include "msgpost/client/dispatcher_client.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>

#include "hubwire/rpc/binding.h"
#include "hubwire/rpc/dispatcher_proxy.h"
#include "msgpost/client/event.h"
#include "msgpost/client/results.h"

namespace msgpost {

const std::u16string connected_notice = u"System:Dispatcher.Client.Connected";
const std::u16string disconnected_notice = u"System:Dispatcher.Client.Disconnected";

// One registered client. Its strings are its own copies.
struct dispatcher_client {
  std::unique_ptr<rpc::binding> binding;  // null while not bound
  rpc::context_handle ctx{};
  std::atomic<rpc::call_status> last_status = rpc::status_ok;  // kept for debugging
  int32_t connect_result = 0;
  int32_t slot = 0;
  std::u16string identity;
  opt_text name;
  message_callback callback;
  std::thread receiver;
  manual_event receiver_ended;
};

client_library::client_library(platform::service_manager* services,
                               platform::process_services* process)
    : services_(services), identity_(process) {}

client_library::~client_library() {
  std::vector<dispatcher_client*> live;
  {
    std::lock_guard<std::mutex> lock(table_mu_);
    live = table_.live_clients();
    for (dispatcher_client* c : live) table_.release(c->slot);
  }
  for (dispatcher_client* c : live) destroy(c);
}

int32_t client_library::wait_for_dispatcher(const std::string& name) {
  int err = services_->open_service(name);
  if (err != 0) return err;
  // A service that never comes up within the minute is no error here: the
  // connection that follows decides.
  int waited = 0;
  while (services_->query_state() != platform::service_state::running) {
    int nap = std::min(5000, 60000 - waited);
    services_->sleep_ms(nap);
    waited += nap;
    if (waited >= 60000) break;
  }
  return 0;
}

int32_t client_library::release_identity() {
  int32_t count = identity_.release();
  if (count != 0) return count;
  // The last user is gone: no client may outlive the identity it carries.
  std::vector<dispatcher_client*> live;
  {
    std::lock_guard<std::mutex> lock(table_mu_);
    live = table_.live_clients();
    for (dispatcher_client* c : live) table_.release(c->slot);
  }
  for (dispatcher_client* c : live) destroy(c);
  return 0;
}

dispatcher_client* client_library::find(int32_t slot) {
  std::lock_guard<std::mutex> lock(table_mu_);
  return table_.get(slot);
}

bool client_library::slot_in_use(int32_t slot) { return find(slot) != nullptr; }

// Binding opens the first connection at once, so that a socket this user may
// not use is told apart from a service that does not listen: the first is a
// binding failure, the second fails the first call like a broken connection.
int32_t client_library::bind(dispatcher_client* c) {
  platform::endpoint_error err = platform::endpoint_error::none;
  std::unique_ptr<rpc::byte_stream> first = services_->connect_endpoint(&err);
  switch (err) {
    case platform::endpoint_error::access_denied:
      c->last_status = 5;
      return result_access_denied;
    case platform::endpoint_error::no_memory:
      c->last_status = 122;
      return result_no_memory;
    case platform::endpoint_error::invalid:
      c->last_status = 1706;  // the endpoint cannot be formed
      return result_no_service;
    case platform::endpoint_error::none:
    case platform::endpoint_error::not_listening:
      break;
  }
  platform::service_manager* services = services_;
  c->binding = std::make_unique<rpc::binding>(
      [services]() {
        platform::endpoint_error e;
        return services->connect_endpoint(&e);
      },
      std::move(first));
  return 0;
}

int32_t client_library::connect(const std::u16string* from_id, const opt_text& name,
                                message_callback callback, int32_t* slot) {
  dispatcher_client* c = new (std::nothrow) dispatcher_client;
  if (c == nullptr) return result_no_memory;
  {
    std::lock_guard<std::mutex> lock(table_mu_);
    c->slot = table_.take(c);
  }
  if (c->slot <= 0) {
    int32_t r = c->slot;
    delete c;
    return r;
  }
  auto fail = [&](int32_t r) {
    {
      std::lock_guard<std::mutex> lock(table_mu_);
      table_.release(c->slot);
    }
    destroy(c);
    return r;
  };
  // An identity that does not fit is refused before anything is sent.
  if (!build_client_identity(identity_.data(), from_id, &c->identity)) {
    return fail(result_no_memory);
  }
  c->name = name;
  c->callback = std::move(callback);
  if (int32_t r = bind(c); r != 0) return fail(r);

  int32_t result = 0;
  rpc::call_status s = rpc::connect_client(c->binding.get(), &c->identity, c->name,
                                           identity_.data().process_id, &c->ctx, &result);
  if (s != rpc::status_ok) {
    c->last_status = s;
    return fail(result_rpc_exception);
  }
  if (result < 0) return fail(result);
  c->connect_result = result;
  if (c->callback) c->receiver = std::thread(&client_library::receiver_thread, this, c, c->ctx);
  *slot = c->slot;
  return 0;
}

int32_t client_library::send(int32_t slot, const std::u16string& to_id,
                             const std::u16string& msg_id, int32_t iparam1, int32_t iparam2,
                             const opt_text& sparam, int32_t* serial) {
  dispatcher_client* c = find(slot);
  if (c == nullptr) return result_bad_slot;
  int32_t result = 0;
  rpc::call_status s = rpc::send_message(c->binding.get(), c->ctx, &to_id, &msg_id, iparam1,
                                         iparam2, sparam, serial, &result);
  if (s != rpc::status_ok) {
    c->last_status = s;
    return result_rpc_exception;
  }
  return result;
}

int32_t client_library::send_response(int32_t slot, const std::u16string& to_id,
                                      const std::u16string& msg_id, int32_t iparam1,
                                      int32_t iparam2, const opt_text& sparam, int32_t serial) {
  dispatcher_client* c = find(slot);
  if (c == nullptr) return result_bad_slot;
  int32_t result = 0;
  rpc::call_status s = rpc::send_response(c->binding.get(), c->ctx, &to_id, &msg_id, iparam1,
                                          iparam2, sparam, serial, &result);
  if (s != rpc::status_ok) {
    c->last_status = s;
    return result_rpc_exception;
  }
  return result;
}

// ctx is a copy taken before the thread starts: the disconnect on the
// calling thread replaces the client's own copy while this thread may still
// be receiving.
void client_library::receiver_thread(dispatcher_client* c, rpc::context_handle ctx) {
  c->callback(c->slot, &c->identity, &connected_notice, c->connect_result, 0, nullptr, 0);
  for (;;) {
    rpc::dispatcher_message m;
    int32_t result = 0;
    rpc::call_status s = rpc::receive_message(c->binding.get(), ctx, &m, &result);
    if (s != rpc::status_ok) result = result_rpc_exception;
    if (result < 0) break;
    auto text = [](const opt_text& t) { return t ? &*t : nullptr; };
    c->callback(c->slot, text(m.from_id), text(m.msg_id), m.iparam1, m.iparam2, text(m.sparam),
                m.serial);
  }
  c->callback(c->slot, &c->identity, &disconnected_notice, c->connect_result, 0, nullptr, 0);
  c->receiver_ended.set();
}

int32_t client_library::disconnect(dispatcher_client* c) {
  int32_t result = 0;
  rpc::call_status s = rpc::disconnect_client(c->binding.get(), &c->ctx, &result);
  if (s != rpc::status_ok) {
    c->last_status = s;
    result = result_rpc_exception;
  }
  if (c->receiver.joinable()) {
    // A thread left running would outlive the client it reads, so after the
    // wait its connection is cut, which ends the receive at once.
    if (!c->receiver_ended.wait_for(disconnect_wait_ms)) c->binding->abort_calls();
    c->receiver.join();
  }
  c->binding.reset();
  return result;
}

int32_t client_library::close_client(int32_t slot) {
  dispatcher_client* c = find(slot);
  if (c == nullptr) return result_bad_slot;
  int32_t result = disconnect(c);
  {
    std::lock_guard<std::mutex> lock(table_mu_);
    table_.release(slot);
  }
  destroy(c);
  return result;
}

void client_library::destroy(dispatcher_client* c) {
  if (c->receiver.joinable()) {
    c->binding->abort_calls();
    c->receiver.join();
  }
  delete c;
}

}  // namespace msgpost
