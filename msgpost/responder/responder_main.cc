// msgpost_responder: a dispatcher client for tests. It registers a name,
// answers every message it receives with a response of a given name, and
// writes one line to standard output for each step, so a test can follow it.
//
//   msgpost_responder --name NAME [--from ID] [--response NAME] [--delay MS]
//                     [--exit-after MS]
//
//   --name NAME       the name to receive under (required)
//   --from ID         the fromId of its identity (default: the program's name)
//   --response NAME   the msgId of each response; without it, it never answers
//   --delay MS        waits this long before each response
//   --exit-after MS   after the first response, waits this long and ends its
//                     own process (a responder to a ".Quit" message)
//
// It ends when its dispatcher connection ends, or on a signal. Exit code 0,
// or 2 for a bad command line or a failed registration.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "hubwire/rpc/utf.h"
#include "msgpost/client/dispatcher_client.h"
#include "msgpost/client/event.h"
#include "msgpost/client/number.h"
#include "msgpost/platform/process.h"
#include "msgpost/platform/service_manager.h"

namespace {

struct options {
  std::u16string name;
  bool has_from = false;
  std::u16string from;
  std::u16string response;
  int delay_ms = 0;
  int exit_after_ms = -1;
};

bool parse(int argc, char** argv, options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::u16string value;
    if (!rpc::utf8_to_utf16(argv[i + 1], &value)) return false;
    std::string flag = argv[i];
    if (flag == "--name") {
      o->name = value;
    } else if (flag == "--from") {
      o->has_from = true;
      o->from = value;
    } else if (flag == "--response") {
      o->response = value;
    } else if (flag == "--delay") {
      o->delay_ms = msgpost::to_int32(value);
    } else if (flag == "--exit-after") {
      o->exit_after_ms = msgpost::to_int32(value);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !o->name.empty();
}

void say(const std::string& line) {
  printf("%s\n", line.c_str());
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, &o)) {
    fprintf(stderr,
            "usage: msgpost_responder --name NAME [--from ID] [--response NAME] "
            "[--delay MS] [--exit-after MS]\n");
    return 2;
  }
  platform::service_manager* services = platform::default_service_manager();
  if (services->open_service("hubsvc") != 0) {
    say("no service");
    return 2;
  }
  msgpost::client_library lib(services, platform::default_process_services());
  lib.acquire_identity();

  msgpost::manual_event finished;
  auto on_message = [&](int32_t slot, const std::u16string* from_id, const std::u16string* msg_id,
                        int32_t, int32_t, const std::u16string*, int32_t serial) -> int32_t {
    if (msg_id && *msg_id == msgpost::connected_notice) return 0;
    if (msg_id && *msg_id == msgpost::disconnected_notice) {
      finished.set();
      return 0;
    }
    say("received " + (msg_id ? rpc::utf16_to_utf8(*msg_id) : std::string("(null)")) + " " +
        std::to_string(serial));
    if (o.response.empty() || from_id == nullptr) return 0;
    if (o.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(o.delay_ms));
    int32_t r = lib.send_response(slot, *from_id, o.response, 0, 0, std::nullopt, serial);
    say("responded " + std::to_string(r));
    if (o.exit_after_ms >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(o.exit_after_ms));
      say("exiting");
      std::_Exit(0);  // ends the process as a crashed responder would
    }
    return 0;
  };
  int32_t slot = 0;
  int32_t r = lib.connect(o.has_from ? &o.from : nullptr, o.name, on_message, &slot);
  if (r != 0) {
    say("connect failed " + std::to_string(r));
    return 2;
  }
  say("ready");
  finished.wait();
  lib.close_client(slot);
  lib.release_identity();
  return 0;
}
