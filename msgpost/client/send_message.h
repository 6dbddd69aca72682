// Posting one message through the dispatcher: wait for the service, register,
// send, optionally count the responses, disconnect.
#ifndef MSGPOST_CLIENT_SEND_MESSAGE_H_
#define MSGPOST_CLIENT_SEND_MESSAGE_H_

#include <cstdint>
#include <string>

#include "msgpost/client/dispatcher_client.h"

namespace msgpost {

struct message_request {
  const std::u16string* from_id = nullptr;  // null: the program's name stands in
  std::u16string to_id;
  std::u16string msg_id;
  int32_t iparam1 = 0;
  int32_t iparam2 = 0;
  std::u16string sparam;
  const std::u16string* response_id = nullptr;  // the responses awaited; the client's name
  int32_t timeout_ms = 0;  // 0: do not wait for responses; -1: wait without limit
};

// The number of recipients (0 or more) or a negative error. With a non-zero
// timeout and a non-empty response name, returns after the last awaited
// response or when the timeout runs out, whichever comes first.
int32_t send_dispatcher_message(client_library* lib, platform::process_services* process,
                                const message_request& req);

// The responder's process id as the response callback reads it from a
// client_identity: the text after the first ":" (if any), and in that the
// text after the first "." (if any), as a decimal number; 0 when it does not
// begin with one. *skip is set when there is nothing to read.
int32_t responder_pid(const std::u16string& from_id, bool* skip);

// True when name is longer than five units and ends in ".Quit" (exact case).
bool is_quit_name(const std::u16string& name);

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_SEND_MESSAGE_H_
