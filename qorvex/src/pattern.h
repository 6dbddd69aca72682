// Byte patterns of the definitions source: hex bytes with nibble and byte wildcards.
#ifndef QORVEX_SRC_PATTERN_H_
#define QORVEX_SRC_PATTERN_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorvex {

// One position of a pattern: the data byte matches when (data & mask) == value.
struct pattern_byte {
  uint8_t value = 0;
  uint8_t mask = 0xff;
  bool operator==(const pattern_byte&) const = default;
};

// Parses a pattern body. Tokens, separated by blanks or written together:
//   4d 5a     bytes in hex (a pair of hex digits)
//   4? ?d     a nibble wildcard on either half
//   ??        any byte
//   {n}       n bytes of anything (1 to kMaxPatternLength)
//   "text"    the bytes of the text as written (no escapes; a text cannot hold a double quote)
// Fails with a message in *err for anything else, for an empty pattern, for a pattern longer than
// kMaxPatternLength, and for one with fewer than two fully fixed bytes (it would match nearly
// every file).
bool parse_pattern(std::string_view body, std::vector<pattern_byte>* out, std::string* err);

// The pattern as a regular expression for the matcher, to compile with the dot-matches-all flag.
std::string pattern_to_regex(const std::vector<pattern_byte>& pattern);

}  // namespace qorvex

#endif  // QORVEX_SRC_PATTERN_H_
