// msgpost's command line: four switches in any case, anywhere, and up to five
// positional arguments.
#ifndef MSGPOST_CMDLINE_ARGS_H_
#define MSGPOST_CMDLINE_ARGS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace msgpost {

struct post_args {
  std::u16string from_id = u"msgpost.exe";
  std::u16string to_id;
  std::u16string msg_id;
  int32_t iparam1 = 0;
  int32_t iparam2 = 0;
  bool quiet = false;
  std::u16string sparam;
  std::u16string response_id;  // empty until given; the caller fills in "msgPost"
  int32_t timeout_ms = 0;      // 0: do not wait for responses; -1: no limit
};

extern const std::u16string usage_text;

// args[0] is the program. False when there are fewer than four arguments in
// all, a switch lacks its value, or fewer than two positional arguments are
// found. A sixth and later positional argument are ignored.
bool parse_args(const std::vector<std::u16string>& args, post_args* out);

}  // namespace msgpost

#endif  // MSGPOST_CMDLINE_ARGS_H_
