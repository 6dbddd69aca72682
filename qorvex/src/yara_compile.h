// Parsed YARA rules turned into what the definitions carry: matcher expressions for their strings
// and one condition program per rule (condition.h), or a skip reason per rule.
//
// Strings are numbered across the whole set ("slots"); each string has one or more matcher
// expressions (its forms: ascii, wide, xor keys). Rules are numbered across the set too, in source
// order, so a rule only refers to rules before it. Each source is a namespace of its own: its
// global rules gate its other rules only.
#ifndef QORVEX_SRC_YARA_COMPILE_H_
#define QORVEX_SRC_YARA_COMPILE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "qorvex/src/yara_ast.h"

namespace qorvex {

struct rule_pattern {
  std::string regex;
  unsigned flags = 0;      // matcher flags
  uint32_t slot = 0;       // the string it belongs to
  uint32_t length = 0;     // of every match; 0 when it varies (then only whether it matched counts)
  bool positions = false;  // the condition needs where it matched, so every match is reported
  std::string verify;      // a hex body checked at each match of the regex (string_variant)
  uint32_t anchor_end = 0, max_length = 0;
};

struct compiled_rule {
  std::string name;
  int kind = 21;
  int accuracy = 1;
  bool is_private = false, is_global = false;
  bool needs_match = false;  // false whenever none of its own strings matched
  uint32_t ns = 0;
  uint32_t first_slot = 0, slot_count = 0;
  std::string program;
};

struct rule_set {
  std::vector<rule_pattern> patterns;
  std::vector<compiled_rule> rules;
  uint32_t slots = 0;
  uint32_t namespaces = 0;
};

// The metadata keys that give a rule's detection kind and accuracy, and their defaults.
inline constexpr const char* kKindKey = "qorvex_kind";
inline constexpr const char* kAccuracyKey = "qorvex_accuracy";
inline constexpr int kDefaultRuleKind = 21;
inline constexpr int kDefaultRuleAccuracy = 1;

struct yara_report {
  int compiled = 0;
  int skipped = 0;
  std::vector<std::string> skips;  // "label:line: rule NAME skipped: reason"
};

// Adds the rules of one parsed source to *set as a new namespace.
void compile_yara(const yara_file& file, rule_set* set, yara_report* report);

}  // namespace qorvex

#endif  // QORVEX_SRC_YARA_COMPILE_H_
