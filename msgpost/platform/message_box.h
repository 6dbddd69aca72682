// Message boxes. msgpost opens no window: on Linux a box is the caption, a
// line end, the text and a line end on standard error, and it returns at
// once as if OK had been pressed.
#ifndef MSGPOST_PLATFORM_MESSAGE_BOX_H_
#define MSGPOST_PLATFORM_MESSAGE_BOX_H_

#include <string>

namespace platform {

class message_box {
 public:
  virtual ~message_box() = default;
  // Shows text under caption; a null caption shows the system's default
  // ("Error"). Never fails: a box that cannot be written is a box unseen.
  virtual void show(const std::u16string* caption, const std::u16string& text) = 0;
  // The system's text for an error code, without trailing line ends: the C
  // library's text for a positive code, empty for zero or a negative code.
  virtual std::u16string error_text(int code) = 0;
};

// Writes to standard error. Lives for the whole process.
message_box* default_message_box();

}  // namespace platform

#endif  // MSGPOST_PLATFORM_MESSAGE_BOX_H_
