#include "msgpost/cmdline/args.h"

#include "msgpost/client/identity.h"
#include "msgpost/client/number.h"

namespace msgpost {

const std::u16string usage_text =
    u"msgpost.exe [/t timeout(ms)] [/q] [/r msgResponseId] [/f fromId] toId msgId [iParam1] "
    u"[iParam2] [sParam]\n\t timeout of -1 sets the timeout to INFINITE\n";

namespace {

enum class switch_kind { quiet, timeout, from, response };

struct switch_def {
  const char16_t* name;
  switch_kind kind;
  bool takes_value;
};

constexpr switch_def kSwitches[] = {
    {u"/q", switch_kind::quiet, false},
    {u"/t", switch_kind::timeout, true},
    {u"/f", switch_kind::from, true},
    {u"/r", switch_kind::response, true},
};

const switch_def* find_switch(const std::u16string& arg) {
  std::u16string lower = ascii_lower(arg);
  for (const switch_def& s : kSwitches) {
    if (lower == s.name) return &s;
  }
  return nullptr;
}

void apply_switch(const switch_def& s, const std::u16string& value, post_args* out) {
  switch (s.kind) {
    case switch_kind::quiet:
      out->quiet = true;
      break;
    case switch_kind::timeout:
      out->timeout_ms = to_int32(value);
      break;
    case switch_kind::from:
      out->from_id = value;
      break;
    case switch_kind::response:
      out->response_id = value;
      break;
  }
}

void apply_positional(int index, const std::u16string& value, post_args* out) {
  switch (index) {
    case 0:
      out->to_id = value;
      break;
    case 1:
      out->msg_id = value;
      break;
    case 2:
      out->iparam1 = to_int32(value);
      break;
    case 3:
      out->iparam2 = to_int32(value);
      break;
    case 4:
      out->sparam = value;
      break;
    default:
      break;  // a sixth and later ones are ignored
  }
}

}  // namespace

bool parse_args(const std::vector<std::u16string>& args, post_args* out) {
  // The program, the two positional arguments and at least one more: a
  // recipient and a message alone are not enough.
  if (args.size() < 4) return false;
  int positional = 0;
  for (size_t i = 1; i < args.size(); ++i) {
    const switch_def* s = find_switch(args[i]);
    if (s == nullptr) {
      apply_positional(positional++, args[i], out);
      continue;
    }
    std::u16string value;
    if (s->takes_value) {
      if (i + 1 >= args.size()) return false;
      value = args[++i];  // taken unchanged, even when it begins with "/"
    }
    apply_switch(*s, value, out);
  }
  return positional >= 2;
}

}  // namespace msgpost
