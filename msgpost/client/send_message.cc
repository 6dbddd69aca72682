#include "msgpost/client/send_message.h"

#include <chrono>

#include "msgpost/client/event.h"
#include "msgpost/client/number.h"
#include "msgpost/client/results.h"

namespace msgpost {

namespace {

// Shared by the caller and the receiver thread. serial and outstanding are
// written by the caller before sent_event is set and touched afterwards only
// by the receiver thread, so sent_event orders every access to them.
struct send_state {
  int32_t serial = 0;
  std::u16string response_name;
  int32_t outstanding = 0;
  int32_t timeout_ms = 0;
  bool quit = false;
  manual_event done_event;       // the caller has stopped waiting
  manual_event responses_event;  // the last awaited response was counted
  manual_event sent_event;       // the send has returned
};

// Waits until the responder process ends, the caller stops waiting, or the
// timeout runs out.
void wait_for_responder(platform::process_services* process, send_state* st, int32_t pid) {
  std::unique_ptr<platform::process_handle> h = process->open_process(pid);
  if (!h) return;
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    int slice = 20;
    if (st->timeout_ms >= 0) {
      auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - start)
                       .count();
      if (spent >= st->timeout_ms) return;
      slice = static_cast<int>(std::min<long long>(slice, st->timeout_ms - spent));
    }
    if (h->wait_exit(slice) || st->done_event.is_set()) return;
  }
}

int32_t response_callback(platform::process_services* process, send_state* st,
                          const std::u16string* from_id, const std::u16string* msg_id,
                          int32_t serial) {
  st->sent_event.wait();
  // Once the receiver thread stops (the service went away or closed the
  // client) no response can come any more; waiting on, without a time
  // limit, would never end.
  if (serial == 0 && msg_id != nullptr && *msg_id == disconnected_notice) {
    st->responses_event.set();
    return 0;
  }
  if (serial != st->serial) return 0;
  // The two notices of the receiver thread have serial 0 and end here.
  if (msg_id == nullptr || *msg_id != st->response_name) return 0;
  if (st->quit) {
    bool skip = false;
    int32_t pid = from_id == nullptr ? serial : responder_pid(*from_id, &skip);
    if (!skip && pid != 0) wait_for_responder(process, st, pid);
  }
  if (--st->outstanding == 0) st->responses_event.set();
  return 0;
}

}  // namespace

bool is_quit_name(const std::u16string& name) {
  static const std::u16string kQuit = u".Quit";
  return name.size() > kQuit.size() &&
         name.compare(name.size() - kQuit.size(), kQuit.size(), kQuit) == 0;
}

int32_t responder_pid(const std::u16string& from_id, bool* skip) {
  *skip = false;
  if (from_id.empty()) {
    *skip = true;
    return 0;
  }
  std::u16string text = from_id;
  if (size_t colon = text.find(u':'); colon != std::u16string::npos) text = text.substr(colon + 1);
  if (size_t dot = text.find(u'.'); dot != std::u16string::npos) text = text.substr(dot + 1);
  if (text.empty()) {
    *skip = true;
    return 0;
  }
  return to_int32(text);
}

int32_t send_dispatcher_message(client_library* lib, platform::process_services* process,
                                const message_request& req) {
  send_state st;
  if (lib->wait_for_dispatcher("hubsvc") != 0) return result_no_service;
  lib->pause_ms(100);

  message_callback callback;
  if (req.timeout_ms != 0 && req.response_id != nullptr && !req.response_id->empty()) {
    callback = [process, &st](int32_t, const std::u16string* from_id, const std::u16string* msg_id,
                              int32_t, int32_t, const std::u16string*, int32_t serial) {
      return response_callback(process, &st, from_id, msg_id, serial);
    };
  }
  if (int32_t r = lib->acquire_identity(); r < 0) return r;

  st.timeout_ms = req.timeout_ms;
  if (req.response_id != nullptr) st.response_name = *req.response_id;
  st.quit = is_quit_name(st.response_name);

  opt_text name =
      req.response_id ? opt_text(*req.response_id) : opt_text(u"Brannoc.KESTAV5.msgPost");
  int32_t slot = 0;
  int32_t result = lib->connect(req.from_id, name, callback, &slot);
  if (result >= 0) {
    result =
        lib->send(slot, req.to_id, req.msg_id, req.iparam1, req.iparam2, req.sparam, &st.serial);
    // sent_event is set on every path once the send has returned, so that a
    // receiver thread holding back a notice never waits for a send that
    // failed; with a failed send no response is outstanding.
    st.outstanding = result > 0 ? result : 0;
    st.sent_event.set();
    if (result > 0 && req.timeout_ms != 0) {
      st.responses_event.wait_for(req.timeout_ms);
    }
    st.done_event.set();
  }
  if (lib->slot_in_use(slot)) lib->close_client(slot);
  lib->release_identity();
  return result;
}

}  // namespace msgpost
