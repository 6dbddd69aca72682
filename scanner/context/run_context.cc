#include "scanner/context/run_context.h"

#include "scanner/messages/strings.h"

namespace ferrox {

void run_context::status(message_id id) const {
  if (options.verbose) log(1, msg(id) + "\n");
}

}  // namespace ferrox
