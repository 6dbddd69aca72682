// The readable definitions source: one signature per line, diffable, with comments.
//
//   # a comment (a line whose first non-blank character is '#'); blank lines are ignored
//   id 202612101530
//   pattern NAME kind=K [accuracy=A] [qualifiers=Q] [heuristics=H] [at=N | end=N]
//           [repair=cut | repair=blank] : BODY
//   hash    NAME kind=K [accuracy=A] [qualifiers=Q] [heuristics=H] : SHA256 SIZE
//   allow   LABEL : SHA256 SIZE
//
// BODY is a byte pattern (pattern.h). at=N anchors the pattern to start N bytes into the file;
// end=N anchors it to end N bytes before the end of the file. repair= says how a file with the
// pattern can be disinfected: cut where the match starts, or blank the matched bytes. `allow` lines
// form the allow-list of known-clean files that the companion file carries; their label is for
// readers only.
#ifndef QORVEX_SRC_SOURCE_PARSER_H_
#define QORVEX_SRC_SOURCE_PARSER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/defs_format.h"
#include "qorvex/src/pattern.h"
#include "qorvex/src/yara_compile.h"

namespace qorvex {

using sha256_digest = std::array<uint8_t, 32>;

enum class entry_type { pattern, hash, allow };

struct source_entry {
  entry_type type = entry_type::pattern;
  std::string name;
  int kind = -1;
  int accuracy = 1;
  uint32_t qualifiers = 0;
  int heuristics = 0;  // lowest heuristics level at which the entry is active; 0: always
  anchor_type anchor = anchor_type::none;
  repair_type repair = repair_type::none;
  uint32_t offset = 0;
  std::vector<pattern_byte> pattern;
  sha256_digest digest{};
  uint64_t size = 0;
  std::string where;  // "file:line", for messages
};

struct source_set {
  std::string id;  // empty when no source names one
  std::vector<source_entry> entries;
  rule_set rules;  // compiled from YARA sources
};

// True when text is a well-formed identifier: 12 digits reading as a plausible year to minute.
bool valid_defs_id(std::string_view text);

// Parses one source text and appends its entries to *out. An `id` line must agree with an id
// already in *out. On failure returns false with "label:line: message" in *err.
bool parse_source(std::string_view text, const std::string& label, source_set* out,
                  std::string* err);

}  // namespace qorvex

#endif  // QORVEX_SRC_SOURCE_PARSER_H_
