// The stubs of the dispatcher interface's six procedures: each request and
// each reply as a struct, with an encoder and a decoder for both sides. A
// decoder returns false when the stub is truncated, breaks an NDR rule or has
// bytes left over after its last item.
#ifndef HUBWIRE_RPC_DISPATCHER_STUBS_H_
#define HUBWIRE_RPC_DISPATCHER_STUBS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "hubwire/rpc/coding.h"
#include "hubwire/rpc/ndr.h"

namespace rpc {

enum opnum : uint16_t {
  op_connect_client = 0,
  op_send_message = 1,
  op_send_response = 2,  // a reply carrying the serial of the message it answers
  op_add_name = 3,       // one more name under which the client receives
  op_receive_message = 4,
  op_disconnect_client = 5,
  op_count = 6,
};

using opt_text = std::optional<std::u16string>;

struct dispatcher_message {
  opt_text from_id;
  opt_text msg_id;
  int32_t iparam1 = 0;
  int32_t iparam2 = 0;
  opt_text sparam;
  int32_t serial = 0;
  bool operator==(const dispatcher_message&) const = default;
};

struct connect_request {  // op 0
  std::u16string identity;
  opt_text name;
  int32_t process_id = 0;
};

// op 1 (serial by reference) and op 2 (serial by value) share this shape.
struct send_request {
  context_handle ctx{};
  std::u16string to_id;
  std::u16string msg_id;
  int32_t iparam1 = 0;
  int32_t iparam2 = 0;
  opt_text sparam;
  int32_t serial = 0;
};

struct name_request {  // op 3
  context_handle ctx{};
  std::u16string name;
};

struct context_request {  // ops 4 and 5
  context_handle ctx{};
};

struct context_reply {  // ops 0 and 5: the (new or closed) handle, then the result
  context_handle ctx{};
  int32_t result = 0;
};

struct send_reply {  // op 1
  int32_t serial = 0;
  int32_t result = 0;
};

struct receive_reply {  // op 4
  dispatcher_message msg;
  int32_t result = 0;
};

bytes encode_connect_request(const connect_request& r);
bool decode_connect_request(const uint8_t* p, size_t n, connect_request* r);
bytes encode_send_request(const send_request& r);
bool decode_send_request(const uint8_t* p, size_t n, send_request* r);
bytes encode_name_request(const name_request& r);
bool decode_name_request(const uint8_t* p, size_t n, name_request* r);
bytes encode_context_request(const context_request& r);
bool decode_context_request(const uint8_t* p, size_t n, context_request* r);

bytes encode_context_reply(const context_reply& r);
bool decode_context_reply(const uint8_t* p, size_t n, context_reply* r);
bytes encode_send_reply(const send_reply& r);
bool decode_send_reply(const uint8_t* p, size_t n, send_reply* r);
bytes encode_result_reply(int32_t result);  // ops 2 and 3
bool decode_result_reply(const uint8_t* p, size_t n, int32_t* result);
bytes encode_receive_reply(const receive_reply& r);
bool decode_receive_reply(const uint8_t* p, size_t n, receive_reply* r);

}  // namespace rpc

#endif  // HUBWIRE_RPC_DISPATCHER_STUBS_H_
