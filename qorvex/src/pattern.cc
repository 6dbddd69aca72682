#include "qorvex/src/pattern.h"

#include <cctype>
#include <cstdio>

#include "qorvex/src/defs_format.h"

namespace qorvex {
namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads "{n}" at body[*pos]; *pos ends after the closing brace.
bool parse_gap(std::string_view body, size_t* pos, size_t* n) {
  size_t end = body.find('}', *pos);
  if (end == std::string_view::npos || end == *pos + 1) return false;
  uint64_t value = 0;
  for (size_t i = *pos + 1; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(body[i]))) return false;
    value = value * 10 + uint64_t(body[i] - '0');
    if (value > kMaxPatternLength) return false;
  }
  if (value == 0) return false;
  *n = size_t(value);
  *pos = end + 1;
  return true;
}

bool parse_hex_pair(char hi, char lo, pattern_byte* out) {
  int h = hi == '?' ? 0 : hex_value(hi);
  int l = lo == '?' ? 0 : hex_value(lo);
  if (h < 0 || l < 0) return false;
  out->value = uint8_t(h << 4 | l);
  out->mask = uint8_t((hi == '?' ? 0 : 0xf0) | (lo == '?' ? 0 : 0x0f));
  return true;
}

}  // namespace

bool parse_pattern(std::string_view body, std::vector<pattern_byte>* out, std::string* err) {
  out->clear();
  size_t pos = 0;
  while (pos < body.size()) {
    char c = body[pos];
    if (c == ' ' || c == '\t') {
      ++pos;
    } else if (c == '"') {
      size_t end = body.find('"', pos + 1);
      if (end == std::string_view::npos) return *err = "unterminated text", false;
      if (end == pos + 1) return *err = "empty text", false;
      for (size_t i = pos + 1; i < end; ++i) out->push_back({uint8_t(body[i]), 0xff});
      pos = end + 1;
    } else if (c == '{') {
      size_t n = 0;
      if (!parse_gap(body, &pos, &n))
        return *err = "bad gap at column " + std::to_string(pos + 1), false;
      out->insert(out->end(), n, pattern_byte{0, 0});
    } else {
      pattern_byte b;
      if (pos + 1 >= body.size() || !parse_hex_pair(c, body[pos + 1], &b)) {
        return *err = "bad byte at column " + std::to_string(pos + 1), false;
      }
      out->push_back(b);
      pos += 2;
    }
    if (out->size() > kMaxPatternLength) return *err = "pattern too long", false;
  }
  size_t fixed = 0;
  for (const pattern_byte& b : *out) fixed += b.mask == 0xff;
  if (out->empty()) return *err = "empty pattern", false;
  if (fixed < 2) return *err = "a pattern needs at least two fixed bytes", false;
  return true;
}

std::string pattern_to_regex(const std::vector<pattern_byte>& pattern) {
  std::string re;
  char buf[8];
  size_t i = 0;
  while (i < pattern.size()) {
    const pattern_byte& b = pattern[i];
    if (b.mask == 0) {
      // Runs of any-byte positions become one counted repeat, which keeps big gaps cheap.
      size_t run = 1;
      while (i + run < pattern.size() && pattern[i + run].mask == 0) ++run;
      re += run == 1 ? "." : ".{" + std::to_string(run) + "}";
      i += run;
      continue;
    }
    if (b.mask == 0xff) {
      std::snprintf(buf, sizeof buf, "\\x%02x", b.value);
      re += buf;
    } else {
      re += '[';
      for (int v = 0; v < 256; ++v) {
        if ((uint8_t(v) & b.mask) != b.value) continue;
        std::snprintf(buf, sizeof buf, "\\x%02x", v);
        re += buf;
      }
      re += ']';
    }
    ++i;
  }
  return re;
}

}  // namespace qorvex
