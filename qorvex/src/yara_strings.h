// YARA strings as matcher expressions: each string becomes one or more expressions whose matches
// are exactly the string's matches in yara, or a reason why that cannot be promised.
#ifndef QORVEX_SRC_YARA_STRINGS_H_
#define QORVEX_SRC_YARA_STRINGS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/yara_ast.h"

namespace qorvex {

// yara verifies a candidate match at most this many bytes away from where it was found, so a
// longer match may be missed there; strings that could match more are skipped.
inline constexpr size_t kYaraScanLimit = 4096;
// yara splits hex strings at jumps longer than this and matches the parts separately.
inline constexpr size_t kYaraChainThreshold = 200;
// Jumps and repeats beyond this would make the matcher's automata huge.
inline constexpr size_t kMaxJump = 65536;

struct hex_info {
  std::string regex;  // for the matcher, with the dot-matches-all flag
  bool fixed = true;  // every match has the same length
  size_t min_length = 0;
  size_t longest_part = 0;  // the longest stretch between jumps over kYaraChainThreshold
  bool too_long_jump = false;
};

// Parses and checks a hex string body (between the braces) as yara does.
bool parse_hex(std::string_view body, hex_info* out, std::string* err);

// One matcher expression of a string.
struct string_variant {
  std::string regex;
  unsigned flags = 0;   // matcher flags (caseless, dot-all)
  uint32_t length = 0;  // the length of every match, or 0 when it varies
};

// The expressions of a string; an empty result with the reason when the string cannot be matched
// exactly. `positions`: the condition uses where it matched or how often (needs fixed lengths).
std::string string_variants(const yara_string& s, bool positions, std::vector<string_variant>* out);

}  // namespace qorvex

#endif  // QORVEX_SRC_YARA_STRINGS_H_
