// msgpost from its arguments to its exit code: parse, post, report.
#ifndef MSGPOST_CMDLINE_RUN_H_
#define MSGPOST_CMDLINE_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "msgpost/client/dispatcher_client.h"
#include "msgpost/platform/message_box.h"
#include "msgpost/platform/process.h"

namespace msgpost {

struct run_env {
  platform::message_box* box;
  client_library* lib;
  platform::process_services* process;
};

// args is null when the command line could not be split into arguments.
// Returns -1 for a command-line error, the client's negative error, or the
// number of recipients.
int32_t run_msgpost(const std::vector<std::u16string>* args, const run_env& env);

// Shows the system's text for code, or "Error code <code> (0x<hex>)" when it
// has none, in a box with the default caption. Returns code.
int32_t show_error_box(platform::message_box* box, int32_t code);

}  // namespace msgpost

#endif  // MSGPOST_CMDLINE_RUN_H_
