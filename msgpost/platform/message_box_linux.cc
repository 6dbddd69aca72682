#include <stdio.h>
#include <string.h>

#include "hubwire/rpc/utf.h"
#include "msgpost/platform/message_box.h"

namespace platform {

namespace {

class stderr_message_box : public message_box {
 public:
  void show(const std::u16string* caption, const std::u16string& text) override {
    std::string out = caption ? rpc::utf16_to_utf8(*caption) : std::string("Error");
    out += '\n';
    out += rpc::utf16_to_utf8(text);
    out += '\n';
    fwrite(out.data(), 1, out.size(), stderr);
    fflush(stderr);
  }

  std::u16string error_text(int code) override {
    if (code <= 0) return {};
    char buf[256];
    // The GNU strerror_r returns a pointer that may or may not be buf.
    const char* text = strerror_r(code, buf, sizeof(buf));
    std::u16string out;
    if (!rpc::utf8_to_utf16(text, &out)) return {};
    return out;
  }
};

}  // namespace

message_box* default_message_box() {
  static stderr_message_box box;
  return &box;
}

}  // namespace platform
