// YARA strings as matcher expressions: each string becomes one or more expressions whose matches
// are exactly the string's matches in yara, or a reason why that cannot be promised.
#ifndef QORVEX_SRC_YARA_STRINGS_H_
#define QORVEX_SRC_YARA_STRINGS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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

// A hex string as tokens: a byte under a mask, a jump of lo to hi bytes, or alternatives.
struct hex_token {
  uint8_t value = 0, mask = 0;
  bool jump = false;
  uint32_t lo = 0, hi = 0;
  std::vector<std::vector<hex_token>> alternatives;
};
using hex_sequence = std::vector<hex_token>;

struct hex_info {
  std::string regex;  // for the matcher, with the dot-matches-all flag
  hex_sequence tokens;
  bool fixed = true;                      // every match has the same length
  size_t min_length = 0, max_length = 0;  // max SIZE_MAX: unbounded
  size_t longest_part = 0;  // the longest stretch between jumps over kYaraChainThreshold
  bool too_long_jump = false;
};

// Parses and checks a hex string body (between the braces) as yara does.
bool parse_hex(std::string_view body, hex_info* out, std::string* err);

// Whether the hex string matches at the start of data (n bytes, all there is to read from that
// start on). Backtracking is bounded by kMaxVerifySteps, which the compiler checks each string
// it verifies this way stays under.
bool hex_matches_at(const hex_sequence& s, const uint8_t* data, size_t n);
inline constexpr size_t kMaxVerifySteps = 4096;
// The bound on the steps of hex_matches_at for a sequence.
size_t hex_verify_cost(const hex_sequence& s);
// Plain parts shorter than this match too often to stand for their string.
inline constexpr size_t kMinAnchor = 4;

// One matcher expression of a string.
struct string_variant {
  string_variant(std::string re, unsigned f, uint32_t len)
      : regex(std::move(re)), flags(f), length(len) {}
  std::string regex;
  unsigned flags = 0;   // matcher flags (caseless, dot-all)
  uint32_t length = 0;  // the length of every match, or 0 when it varies
  // A hex string matched through a literal part of it (the regex): its body, checked with
  // hex_matches_at at the literal's every match, anchor_end bytes before the literal's end;
  // max_length is the longest match. Keeps the matcher's database small.
  std::string verify;
  uint32_t anchor_end = 0, max_length = 0;
};

// The expressions of a string; an empty result with the reason when the string cannot be matched
// exactly. `positions`: the condition uses where it matched or how often (needs fixed lengths).
std::string string_variants(const yara_string& s, bool positions, std::vector<string_variant>* out);

}  // namespace qorvex

#endif  // QORVEX_SRC_YARA_STRINGS_H_
