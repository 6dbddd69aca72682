// The dispatcher client library: waiting for the service, the identity data,
// and clients that register with the service, send messages and, when given
// a callback, receive messages on a thread of their own. One library object
// serves a whole process; it may hold several clients at once.
#ifndef MSGPOST_CLIENT_DISPATCHER_CLIENT_H_
#define MSGPOST_CLIENT_DISPATCHER_CLIENT_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "hubwire/rpc/dispatcher_stubs.h"
#include "msgpost/client/client_table.h"
#include "msgpost/client/identity.h"
#include "msgpost/platform/process.h"
#include "msgpost/platform/service_manager.h"

namespace msgpost {

using rpc::opt_text;

// Called on the client's receiver thread for every message, and for the two
// notices "System:Dispatcher.Client.Connected" and
// "System:Dispatcher.Client.Disconnected" (from_id then is the client's
// identity, iparam1 the connect result, serial 0). Null pointers are null
// texts; they are valid only during the call. The result is not read.
using message_callback = std::function<int32_t(
    int32_t slot, const std::u16string* from_id, const std::u16string* msg_id, int32_t iparam1,
    int32_t iparam2, const std::u16string* sparam, int32_t serial)>;

extern const std::u16string connected_notice;
extern const std::u16string disconnected_notice;

struct dispatcher_client;

class client_library {
 public:
  client_library(platform::service_manager* services, platform::process_services* process);
  // Destroys the clients still in the table.
  ~client_library();

  // 0 once the service runs or after a minute of checks 5 s apart; else the
  // system error code that kept the service from being opened.
  int32_t wait_for_dispatcher(const std::string& name);

  int32_t acquire_identity() { return identity_.acquire(); }
  // Releases one user of the identity data; the last one also destroys the
  // clients still in the table.
  int32_t release_identity();

  // Registers a client under name with the service. On success returns 0 and
  // sets *slot; with a callback, a receiver thread then runs until the client
  // is disconnected. A negative result is an error of the table above or a
  // negative result of the service, passed through.
  int32_t connect(const std::u16string* from_id, const opt_text& name, message_callback callback,
                  int32_t* slot);
  // Sends a message; the service's result (recipients) or a negative error.
  // *serial goes in as 0 and comes back as the message's serial.
  int32_t send(int32_t slot, const std::u16string& to_id, const std::u16string& msg_id,
               int32_t iparam1, int32_t iparam2, const opt_text& sparam, int32_t* serial);
  // Sends a response to the message with the given serial.
  int32_t send_response(int32_t slot, const std::u16string& to_id, const std::u16string& msg_id,
                        int32_t iparam1, int32_t iparam2, const opt_text& sparam, int32_t serial);
  // Disconnects the client in slot, releases the slot and destroys the
  // client. Returns the service's disconnect result, -8 when the call
  // failed, -3 for a slot not in use.
  int32_t close_client(int32_t slot);
  bool slot_in_use(int32_t slot);
  // Sleeps through the service manager, so tests need not wait.
  void pause_ms(int ms) { services_->sleep_ms(ms); }

  // How long a disconnect waits for the receiver thread before it cuts the
  // thread's connection; 10 seconds.
  int disconnect_wait_ms = 10000;

 private:
  dispatcher_client* find(int32_t slot);
  int32_t bind(dispatcher_client* c);
  void receiver_thread(dispatcher_client* c, rpc::context_handle ctx);
  int32_t disconnect(dispatcher_client* c);
  void destroy(dispatcher_client* c);

  platform::service_manager* services_;
  identity_registry identity_;
  std::mutex table_mu_;  // guards table_; never held during a call to the service
  client_table table_;
};

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_DISPATCHER_CLIENT_H_
