// The readable definitions source: one signature per line, diffable, with comments.
//
//   # a comment (a line whose first non-blank character is '#'); blank lines are ignored
//   id 202612101530
//   pattern NAME kind=K [accuracy=A] [qualifiers=Q] [heuristics=H] [at=N | end=N]
//           [repair=cut | repair=blank] : BODY
//   hash    NAME kind=K [accuracy=A] [qualifiers=Q] [heuristics=H] : DIGEST SIZE
//   allow   LABEL : DIGEST SIZE
//
// BODY is a byte pattern (pattern.h). at=N anchors the pattern to start N bytes into the file;
// end=N anchors it to end N bytes before the end of the file. repair= says how a file with the
// pattern can be disinfected: cut where the match starts, or blank the matched bytes. `allow` lines
// form the allow-list of known-clean files that the companion file carries; their label is for
// readers only. DIGEST is an MD5 (32 hex digits), SHA-1 (40) or SHA-256 (64) value; SIZE is the
// file size in bytes, or `*` for any size (every file is then hashed with that kind).
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

// A hash signature or allow-list value, kept small: databases hold millions of them. The name is
// a slice of the set's name pool; where it came from is a source label index and a line.
struct hash_entry {
  sha256_digest digest{};  // the first digest_length(type) bytes are used
  uint64_t size = 0;       // kAnySize: any size
  hash_type type = hash_type::sha256;
  bool allow = false;    // an allow-list value (no name, kind or options)
  bool section = false;  // a PE section hash: size and digest are those of one section
  bool lenient = false;  // from a foreign database: a duplicate is dropped, not an error
  uint8_t kind = 0, accuracy = 1, heuristics = 0;
  uint8_t name_length = 0;
  uint32_t qualifiers = 0;
  uint32_t name_at = 0;  // offset in source_set::name_pool
  uint32_t source = 0;   // index in source_set::labels
  uint32_t line = 0;
};

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
  std::string id;                     // empty when no source names one
  std::vector<source_entry> entries;  // patterns (hash and allow lines go to `hashes`)
  std::vector<hash_entry> hashes;
  rule_set rules;  // compiled from YARA sources
  std::string name_pool;
  std::vector<std::string> labels;

  std::string_view name_of(const hash_entry& h) const {
    return std::string_view(name_pool).substr(h.name_at, h.name_length);
  }
  std::string where(const hash_entry& h) const {
    return labels[h.source] + ":" + std::to_string(h.line);
  }
  // The label index for a source, added when new.
  uint32_t label_index(const std::string& label);
  // Appends a hash entry named `name`; false when the name pool is full (4 GiB).
  bool add_hash(hash_entry h, std::string_view name);
};

// Parses a hex digest of 32, 40 or 64 digits into *out and says which kind it is.
bool parse_hex_digest(std::string_view hex, sha256_digest* out, hash_type* type);
// A size in decimal, or `*` for any size.
bool parse_hash_size(std::string_view text, uint64_t* out);
// A malware name: printable ASCII without blanks, 1 to kMaxNameLength characters.
bool valid_name(std::string_view name);

// True when text is a well-formed identifier: 12 digits reading as a plausible year to minute.
bool valid_defs_id(std::string_view text);

// Parses one source text and appends its entries to *out. An `id` line must agree with an id
// already in *out. On failure returns false with "label:line: message" in *err.
bool parse_source(std::string_view text, const std::string& label, source_set* out,
                  std::string* err);

}  // namespace qorvex

#endif  // QORVEX_SRC_SOURCE_PARSER_H_
