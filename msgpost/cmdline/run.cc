#include "msgpost/cmdline/run.h"

#include <cstdio>

#include "msgpost/client/send_message.h"
#include "msgpost/cmdline/args.h"

namespace msgpost {

namespace {

std::u16string widen(const std::string& s) { return std::u16string(s.begin(), s.end()); }

int32_t show_usage(platform::message_box* box) {
  static const std::u16string kCaption = u"Help";
  box->show(&kCaption, usage_text);
  return -1;
}

}  // namespace

int32_t show_error_box(platform::message_box* box, int32_t code) {
  std::u16string text = box->error_text(code);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n')) text.pop_back();
  if (text.empty()) {
    char buf[64];
    snprintf(buf, sizeof(buf), "Error code %d (0x%X)", code, static_cast<uint32_t>(code));
    text = widen(buf);
  }
  box->show(nullptr, text);
  return code;
}

int32_t run_msgpost(const std::vector<std::u16string>* args, const run_env& env) {
  post_args a;
  if (args == nullptr || !parse_args(*args, &a)) return show_usage(env.box);
  if (a.response_id.empty()) a.response_id = u"msgPost";

  message_request req;
  req.from_id = &a.from_id;
  req.to_id = a.to_id;
  req.msg_id = a.msg_id;
  req.iparam1 = a.iparam1;
  req.iparam2 = a.iparam2;
  req.sparam = a.sparam;
  req.response_id = &a.response_id;
  req.timeout_ms = a.timeout_ms;
  int32_t rc = send_dispatcher_message(env.lib, env.process, req);
  if (rc < 0) return show_error_box(env.box, rc);
  if (a.quiet) return rc;

  char buf[64];
  snprintf(buf, sizeof(buf), "Message sent to %d recipients", rc);
  static const std::u16string kCaption = u"msgpost";
  env.box->show(&kCaption, widen(buf));
  return rc;
}

}  // namespace msgpost
