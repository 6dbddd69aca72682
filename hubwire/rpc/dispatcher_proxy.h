// Client calls of the dispatcher interface over a binding. Each returns the
// call status (0 when the procedure ran and its reply decoded) and, through
// *result, the procedure's own return value. A null required text or a null
// context handle is refused before anything is sent.
#ifndef HUBWIRE_RPC_DISPATCHER_PROXY_H_
#define HUBWIRE_RPC_DISPATCHER_PROXY_H_

#include <cstdint>
#include <string>

#include "hubwire/rpc/binding.h"
#include "hubwire/rpc/dispatcher_stubs.h"
#include "hubwire/rpc/status.h"

namespace rpc {

call_status connect_client(binding* b, const std::u16string* identity, const opt_text& name,
                           int32_t process_id, context_handle* ctx, int32_t* result);
// *serial goes in (0 for a new message) and comes back as the message's serial.
call_status send_message(binding* b, const context_handle& ctx, const std::u16string* to_id,
                         const std::u16string* msg_id, int32_t iparam1, int32_t iparam2,
                         const opt_text& sparam, int32_t* serial, int32_t* result);
// Procedure 2: a response that carries the serial of the message it answers.
call_status send_response(binding* b, const context_handle& ctx, const std::u16string* to_id,
                          const std::u16string* msg_id, int32_t iparam1, int32_t iparam2,
                          const opt_text& sparam, int32_t serial, int32_t* result);
// Procedure 3: one more name under which the client receives.
call_status add_name(binding* b, const context_handle& ctx, const std::u16string* name,
                     int32_t* result);
// Blocks until a message for the client arrives or the client is disconnected.
call_status receive_message(binding* b, const context_handle& ctx, dispatcher_message* msg,
                            int32_t* result);
// *ctx becomes the handle the service returns (all zero once closed).
call_status disconnect_client(binding* b, context_handle* ctx, int32_t* result);

}  // namespace rpc

#endif  // HUBWIRE_RPC_DISPATCHER_PROXY_H_
