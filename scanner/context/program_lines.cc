#include "scanner/context/program_lines.h"

#include <cstdio>
#include <sstream>

#include "scanner/messages/strings.h"

namespace ferrox {

void program_lines::line(int32_t level, const std::string& text) const {
  const std::string whole = program_ + ": " + text + "\n";
  if (out_ != nullptr) {
    out_->log_message(level, whole);
    return;
  }
  std::fwrite(whole.data(), 1, whole.size(), stderr);
  std::fflush(stderr);
}

int32_t program_lines::result(const std::string& label, engine_result r) const {
  std::ostringstream text;
  text << label << " ";
  const int32_t level = describe_result(r, text);
  line(level, text.str());
  return level;
}

int32_t program_lines::result(message_id label, engine_result r) const {
  return result(msg(label), r);
}

void program_lines::internal_error() const { line(3, msg(kMsgInternalError)); }

}  // namespace ferrox
