// Body (.ndb) and logical (.ldb) signatures of ClamAV databases, compiled onto the rules that
// decide with a condition program after the matching pass (yara_compile.h, condition.h): each
// signature is a rule, each body or sub-signature a string slot with its matcher expressions.
//
// What is reproduced exactly: target types 0 (any file) and 1 (PE: the file starts with "MZ", as
// the other engine types files); offsets `*`, `n`, `n,m`, `EOF-n`, `EOF-n,m`; bodies of hex bytes
// with `??`, nibble wildcards, `{n}`, `{-n}`, `{n-}`, `{n-m}`, `*` and alternatives `(aa|bb)`;
// logical expressions with `&`, `|`, parentheses and counts `=X`, `>X`, `<X` on a sub-signature or
// on an `|` group (the sum of its members' counts); the sub-signature modifiers `i`, `w`, `f`, `a`
// where their meaning is certain. Anything else is skipped with a reason.
#ifndef QORVEX_SRC_CLAMAV_SIGS_H_
#define QORVEX_SRC_CLAMAV_SIGS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/yara_compile.h"

namespace qorvex {

// The functionality level this engine answers to: signatures whose level bounds exclude it are
// skipped, as that level's engine ignores them.
inline constexpr unsigned kEngineLevel = 212;
// Sub-signatures of one logical signature, as the format allows.
inline constexpr size_t kMaxSubsigs = 64;

// A body as matcher expressions.
struct clam_body {
  std::vector<std::string> regexes;  // one per form (ascii, wide), all with dot-matches-all
  std::vector<uint32_t> lengths;     // of every match of each form; 0 when it varies
  bool fullword = false;             // delimiters are part of each match
};

enum clam_modifier : unsigned {
  kClamNocase = 1,
  kClamWide = 2,
  kClamFullword = 4,
  kClamAscii = 8,
};

// Parses a body. False with *err when it is malformed (the file is refused); true with a reason
// in *skip when it is well-formed but cannot be matched exactly.
bool parse_clam_body(std::string_view body, unsigned modifiers, clam_body* out, std::string* skip,
                     std::string* err);

// One line of a .ndb (`logical` false) or .ldb file compiled into *set. False with *err when the
// line is malformed; true with a reason in *skip when the signature is skipped, *set unchanged.
bool compile_clam_signature(std::string_view line, bool logical, rule_set* set, std::string* name,
                            std::string* skip, std::string* err);

// The fields of a line between separators (an empty line is one empty field).
std::vector<std::string_view> split_fields(std::string_view s, char sep);

// Whether functionality levels [lo, hi] (empty: unbounded) admit this engine; the reason if not.
std::string level_skip(std::string_view lo, std::string_view hi);

}  // namespace qorvex

#endif  // QORVEX_SRC_CLAMAV_SIGS_H_
