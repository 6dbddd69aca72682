#include "qorvex/src/yara_compile.h"

#include <map>

#include "qorvex/src/defs_format.h"
#include "qorvex/src/yara_strings.h"

namespace qorvex {
namespace {

using node = yara_expr::node;

// The index of a string of the rule from its id ("$a", or "#3" as sets name them).
int string_index(const yara_rule& r, const std::string& id, int current) {
  if (id == "$") return current;
  if (!id.empty() && id[0] == '#') return std::stoi(id.substr(1));
  for (size_t i = 0; i < r.strings.size(); ++i) {
    if (r.strings[i].id == id) return int(i);
  }
  return -1;
}

// The first reason found in a condition why it cannot be compiled.
std::string unsupported_reason(const yara_expr& e) {
  if (e.kind == node::unsupported) return e.text;
  for (const yara_expr& k : e.kids) {
    std::string why = unsupported_reason(k);
    if (!why.empty()) return why;
  }
  return "";
}

// Marks the strings whose positions or counts the condition uses.
void mark_positions(const yara_rule& r, const yara_expr& e, int current, std::vector<bool>* out) {
  switch (e.kind) {
    case node::string_at:
    case node::string_in:
    case node::string_count:
    case node::string_offset:
    case node::string_length: {
      int i = string_index(r, e.text, current);
      if (i >= 0) (*out)[size_t(i)] = true;
      break;
    }
    default:
      break;
  }
  if (e.kind == node::for_of) {
    for (const std::string& id : e.set) mark_positions(r, e.kids[0], string_index(r, id, -1), out);
    for (size_t k = 1; k < e.kids.size(); ++k) mark_positions(r, e.kids[k], current, out);
    return;
  }
  for (const yara_expr& k : e.kids) mark_positions(r, k, current, out);
}

bool constant_at_least_one(const yara_expr& e) { return e.kind == node::number && e.value >= 1; }

// Whether the condition is false whenever none of the rule's strings matched.
bool needs_match(const yara_expr& e) {
  switch (e.kind) {
    case node::string_match:
    case node::string_at:
    case node::string_in:
      return true;
    case node::binary:
      if (e.op == cond_op::land) return needs_match(e.kids[0]) || needs_match(e.kids[1]);
      if (e.op == cond_op::lor) return needs_match(e.kids[0]) && needs_match(e.kids[1]);
      return false;
    case node::of:
      return e.q == yara_expr::quant::any || e.q == yara_expr::quant::all ||
             (e.q == yara_expr::quant::count && constant_at_least_one(e.kids[0]));
    case node::for_of:
      return needs_match(e.kids[0]) &&
             (e.q == yara_expr::quant::any || e.q == yara_expr::quant::all ||
              (e.q == yara_expr::quant::count && constant_at_least_one(e.kids[1])));
    default:
      return false;
  }
}

class emitter {
 public:
  emitter(const yara_rule& r, uint32_t first_slot, const std::map<std::string, uint32_t>& rules)
      : r_(r), first_(first_slot), rules_(rules) {}

  bool emit(const yara_expr& e, int current) {
    if (b_.code().size() > kMaxProgramSize) return false;
    switch (e.kind) {
      case node::number:
        b_.push(e.value);
        return true;
      case node::filesize:
        b_.op(cond_op::filesize);
        return true;
      case node::string_match:
        b_.with_index(cond_op::matched, slot(e, current));
        return true;
      case node::string_at:
      case node::string_in:
      case node::string_count:
      case node::string_offset:
      case node::string_length:
        for (const yara_expr& k : e.kids) {
          if (!emit(k, current)) return false;
        }
        b_.with_index(position_op(e), slot(e, current));
        return true;
      case node::read:
        if (!emit(e.kids[0], current)) return false;
        b_.read(uint8_t(e.value));
        return true;
      case node::rule_ref:
        b_.with_index(cond_op::rule, rules_.at(e.text));
        return true;
      case node::unary:
        if (!emit(e.kids[0], current)) return false;
        b_.op(e.op);
        return true;
      case node::binary:
        if (!emit(e.kids[0], current) || !emit(e.kids[1], current)) return false;
        b_.op(e.op);
        return true;
      case node::of:
      case node::for_of:
        return quantified(e, current);
      default:
        return false;
    }
  }

  std::string take() { return b_.take(); }

 private:
  uint32_t slot(const yara_expr& e, int current) {
    return first_ + uint32_t(string_index(r_, e.text, current));
  }

  static cond_op position_op(const yara_expr& e) {
    switch (e.kind) {
      case node::string_at:
        return cond_op::at;
      case node::string_in:
        return cond_op::in;
      case node::string_count:
        return e.kids.empty() ? cond_op::count : cond_op::count_in;
      case node::string_offset:
        return cond_op::offset;
      default:
        return cond_op::length;
    }
  }

  // How many strings of the set match (of) or satisfy the body (for-of), then the quantifier.
  bool quantified(const yara_expr& e, int current) {
    bool first = true;
    for (const std::string& id : e.set) {
      int i = string_index(r_, id, -1);
      if (e.kind == node::of) {
        b_.with_index(cond_op::matched, first_ + uint32_t(i));
      } else {
        // An undefined body counts as false.
        if (!emit(e.kids[0], i)) return false;
        b_.push(1);
        b_.op(cond_op::land);
      }
      if (!first) b_.op(cond_op::add);
      first = false;
      if (b_.code().size() > kMaxProgramSize) return false;
    }
    switch (e.q) {
      case yara_expr::quant::all:
        b_.push(int64_t(e.set.size()));
        break;
      case yara_expr::quant::any:
        b_.push(1);
        break;
      case yara_expr::quant::none:
        b_.push(0);
        break;
      case yara_expr::quant::count:
        if (!emit(e.kids.back(), current)) return false;
    }
    b_.with_index(cond_op::of, uint32_t(e.set.size()));
    return true;
  }

  const yara_rule& r_;
  uint32_t first_;
  const std::map<std::string, uint32_t>& rules_;
  program_builder b_;
};

bool meta_number(const yara_rule& r, const char* key, int max, int* out, std::string* why) {
  for (const auto& [k, v] : r.meta) {
    if (k != key) continue;
    if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(v) > max) {
      *why = std::string("bad ") + key + " '" + v + "'";
      return false;
    }
    *out = std::stoi(v);
  }
  return true;
}

// References to rules, for the dependency check.
void rule_refs(const yara_expr& e, std::vector<std::string>* out) {
  if (e.kind == node::rule_ref) out->push_back(e.text);
  for (const yara_expr& k : e.kids) rule_refs(k, out);
}

std::string compile_rule(const yara_rule& r, const std::map<std::string, uint32_t>& rules,
                         const std::map<std::string, std::string>& skipped, rule_set* set) {
  std::string why = unsupported_reason(r.condition);
  if (!why.empty()) return why;
  std::vector<std::string> refs;
  rule_refs(r.condition, &refs);
  for (const std::string& name : refs) {
    if (skipped.count(name)) return "depends on skipped rule " + name;
  }
  compiled_rule c;
  c.name = r.name;
  c.is_private = r.is_private;
  c.is_global = r.is_global;
  c.kind = kDefaultRuleKind;
  c.accuracy = kDefaultRuleAccuracy;
  if (!meta_number(r, kKindKey, kMaxKind, &c.kind, &why) ||
      !meta_number(r, kAccuracyKey, kMaxAccuracy, &c.accuracy, &why)) {
    return why;
  }
  std::vector<bool> positions(r.strings.size(), false);
  mark_positions(r, r.condition, -1, &positions);
  std::vector<rule_pattern> patterns;
  for (size_t i = 0; i < r.strings.size(); ++i) {
    std::vector<string_variant> variants;
    why = string_variants(r.strings[i], positions[i], &variants);
    if (!why.empty()) return r.strings[i].id + ": " + why;
    for (const string_variant& v : variants) {
      patterns.push_back({v.regex, v.flags, set->slots + uint32_t(i), v.length, positions[i],
                          v.verify, v.anchor_end, v.max_length});
    }
  }
  emitter em(r, set->slots, rules);
  if (!em.emit(r.condition, -1)) return "condition too large";
  c.program = em.take();
  if (c.program.size() > kMaxProgramSize) return "condition too large";
  std::string err;
  if (!check_program(c.program, set->slots + uint32_t(r.strings.size()),
                     uint32_t(set->rules.size()), &err)) {
    return err;
  }
  c.needs_match = needs_match(r.condition);
  c.ns = set->namespaces;
  c.first_slot = set->slots;
  c.slot_count = uint32_t(r.strings.size());
  set->slots += uint32_t(r.strings.size());
  for (rule_pattern& p : patterns) set->patterns.push_back(std::move(p));
  set->rules.push_back(std::move(c));
  return "";
}

}  // namespace

void compile_yara(const yara_file& file, rule_set* set, yara_report* report) {
  std::map<std::string, uint32_t> rules;  // compiled rules of this namespace
  std::map<std::string, std::string> skipped;
  // A skipped global rule would have gated every rule of the namespace; without it nothing of the
  // namespace can be reproduced.
  std::string global_skip;
  std::vector<std::string> reasons(file.rules.size());
  for (size_t i = 0; i < file.rules.size(); ++i) {
    const yara_rule& r = file.rules[i];
    std::string why = compile_rule(r, rules, skipped, set);
    if (why.empty()) {
      rules[r.name] = uint32_t(set->rules.size() - 1);
    } else {
      skipped[r.name] = why;
      if (r.is_global && global_skip.empty()) global_skip = r.name;
    }
    reasons[i] = why;
  }
  if (!global_skip.empty()) {
    // Take the namespace's rules back out.
    size_t keep = set->rules.size();
    for (size_t i = 0; i < file.rules.size(); ++i) {
      if (reasons[i].empty()) {
        reasons[i] = "depends on skipped global rule " + global_skip;
        --keep;
      }
    }
    uint32_t first_slot = keep < set->rules.size() ? set->rules[keep].first_slot : set->slots;
    set->rules.resize(keep);
    while (!set->patterns.empty() && set->patterns.back().slot >= first_slot)
      set->patterns.pop_back();
    set->slots = first_slot;
  }
  for (size_t i = 0; i < file.rules.size(); ++i) {
    const yara_rule& r = file.rules[i];
    if (reasons[i].empty()) {
      ++report->compiled;
    } else {
      ++report->skipped;
      report->skips.push_back(file.labels[i] + ":" + std::to_string(r.line) + ": rule " + r.name +
                              " skipped: " + reasons[i]);
    }
  }
  ++set->namespaces;
}

}  // namespace qorvex
