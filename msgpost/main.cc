// msgpost: posts one message to the local dispatcher service.
#include <string>
#include <vector>

#include "hubwire/rpc/utf.h"
#include "msgpost/client/dispatcher_client.h"
#include "msgpost/cmdline/run.h"
#include "msgpost/platform/message_box.h"
#include "msgpost/platform/process.h"
#include "msgpost/platform/service_manager.h"

int main(int argc, char** argv) {
  // Arguments that are not valid UTF-8 cannot become wide strings: the
  // command line counts as one that could not be split.
  std::vector<std::u16string> args;
  bool split = true;
  for (int i = 0; i < argc && split; ++i) {
    std::u16string arg;
    split = rpc::utf8_to_utf16(argv[i], &arg);
    args.push_back(std::move(arg));
  }
  msgpost::client_library lib(platform::default_service_manager(),
                              platform::default_process_services());
  msgpost::run_env env{platform::default_message_box(), &lib, platform::default_process_services()};
  return msgpost::run_msgpost(split ? &args : nullptr, env);
}
