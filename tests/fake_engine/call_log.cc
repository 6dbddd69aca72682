#include "tests/fake_engine/call_log.h"

#include <unistd.h>

#include <cerrno>

#include "common/platform/io.h"

namespace qvx_fake {

call_log::call_log(int fd, bool keep) : fd_(fd), keep_(keep) {}

void call_log::append(std::string_view line) {
  std::string whole(line);
  whole += '\n';
  std::lock_guard<std::mutex> lock(mutex_);
  if (keep_) kept_ += whole;
  if (fd_ < 0) return;
  // A full disk must not change what the scanner sees; the test will fail.
  common::write_all(fd_, whole.data(), whole.size());
}

std::string call_log::kept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return kept_;
}

std::string quote(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    auto b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (b < 0x20 || b >= 0x7f) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

}  // namespace qvx_fake
