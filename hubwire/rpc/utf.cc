#include "hubwire/rpc/utf.h"

#include <cstdint>

namespace rpc {

bool utf8_to_utf16(const std::string& in, std::u16string* out) {
  out->clear();
  size_t i = 0;
  while (i < in.size()) {
    uint8_t b = static_cast<uint8_t>(in[i]);
    uint32_t cp;
    size_t len;
    if (b < 0x80) {
      cp = b;
      len = 1;
    } else if (b >= 0xc2 && b <= 0xdf) {
      cp = b & 0x1f;
      len = 2;
    } else if (b >= 0xe0 && b <= 0xef) {
      cp = b & 0x0f;
      len = 3;
    } else if (b >= 0xf0 && b <= 0xf4) {
      cp = b & 0x07;
      len = 4;
    } else {
      return false;
    }
    if (in.size() - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      uint8_t c = static_cast<uint8_t>(in[i + k]);
      if ((c & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3f);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xd800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xdc00 + (cp & 0x3ff)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return true;
}

std::string utf16_to_utf8(const std::u16string& in) {
  std::string out;
  for (size_t i = 0; i < in.size(); ++i) {
    uint32_t cp = in[i];
    if (cp >= 0xd800 && cp <= 0xdbff && i + 1 < in.size() && in[i + 1] >= 0xdc00 &&
        in[i + 1] <= 0xdfff) {
      cp = 0x10000 + ((cp - 0xd800) << 10) + (in[i + 1] - 0xdc00);
      ++i;
    } else if (cp >= 0xd800 && cp <= 0xdfff) {
      cp = 0xfffd;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xc0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xe0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    } else {
      out.push_back(static_cast<char>(0xf0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3f)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3f)));
    }
  }
  return out;
}

}  // namespace rpc
