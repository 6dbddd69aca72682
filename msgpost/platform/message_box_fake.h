// A message box that records every box instead of showing it.
#ifndef MSGPOST_PLATFORM_MESSAGE_BOX_FAKE_H_
#define MSGPOST_PLATFORM_MESSAGE_BOX_FAKE_H_

#include <map>
#include <string>
#include <vector>

#include "msgpost/platform/message_box.h"

namespace platform {

class message_box_fake : public message_box {
 public:
  struct box {
    bool has_caption;
    std::u16string caption;
    std::u16string text;
  };

  void show(const std::u16string* caption, const std::u16string& text) override {
    boxes.push_back({caption != nullptr, caption ? *caption : u"", text});
  }
  std::u16string error_text(int code) override {
    auto it = texts.find(code);
    return it == texts.end() ? u"" : it->second;
  }

  std::vector<box> boxes;               // every box shown, in order
  std::map<int, std::u16string> texts;  // system texts by code; others have none
};

}  // namespace platform

#endif  // MSGPOST_PLATFORM_MESSAGE_BOX_FAKE_H_
