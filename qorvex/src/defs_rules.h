// The rules of a definitions set that decide with a condition program (condition.h) after the
// matching pass, as compiled from YARA sources: the sections kSectionRulePatterns and
// kSectionRules of the signatures file.
//
// A rule record: u32 entry index (kNoEntry: a private rule, which never reports), u32 namespace,
// u32 first string slot, u32 slot count, u32 flags (1 global, 2 false unless one of its own
// strings matched), u32 program length, the program, then zeros to a multiple of 4 bytes.
#ifndef QORVEX_SRC_DEFS_RULES_H_
#define QORVEX_SRC_DEFS_RULES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/yara_strings.h"

namespace qorvex {

inline constexpr uint32_t kNoEntry = 0xffffffffu;
inline constexpr uint32_t kRuleGlobal = 1;
inline constexpr uint32_t kRuleNeedsMatch = 2;
inline constexpr uint32_t kPatternPositions = 1;
inline constexpr uint32_t kPatternVerify = 2;  // a literal standing for a hex string

struct defs_rule_pattern {
  uint32_t slot = 0;
  uint32_t length = 0;
  uint32_t flags = 0;
  // With kPatternVerify: the string matches where its tokens match, anchor_end bytes before the
  // end of a match of the literal; no match is longer than max_length.
  uint32_t anchor_end = 0, max_length = 0;
  std::shared_ptr<const hex_sequence> tokens;
};

struct defs_rule {
  uint32_t entry = kNoEntry;
  uint32_t ns = 0;
  uint32_t first_slot = 0, slot_count = 0;
  uint32_t flags = 0;
  std::string program;
};

struct defs_rules {
  std::vector<defs_rule_pattern> patterns;
  std::vector<defs_rule> rules;
  uint32_t slots = 0;       // string slots of all rules
  uint32_t namespaces = 0;  // highest namespace + 1
};

// Decodes the two sections; false when damaged.
bool decode_rule_patterns(std::string_view bytes, uint32_t count, defs_rules* out);
bool decode_rules(std::string_view bytes, uint32_t count, defs_rules* out);
// The section of hex strings checked at their literal's matches (kPatternVerify): u32 pattern
// index, u32 anchor end, u32 longest match, u32 body length, the hex body, zeros to 4 bytes.
bool decode_rule_verify(std::string_view bytes, uint32_t count, defs_rules* out);
// Checks the indexes and programs once every section is read.
bool check_rules(const defs_rules& r, size_t entries, std::string* err);

void encode_rule_pattern(const defs_rule_pattern& p, std::string* out);
void encode_rule(const defs_rule& r, std::string* out);
void encode_rule_verify(uint32_t pattern, uint32_t anchor_end, uint32_t max_length,
                        std::string_view body, std::string* out);

}  // namespace qorvex

#endif  // QORVEX_SRC_DEFS_RULES_H_
