#include "qorvex/src/defs_rules.h"

#include "qorvex/src/byte_io.h"
#include "qorvex/src/condition.h"

namespace qorvex {

bool decode_rule_patterns(std::string_view bytes, uint32_t count, defs_rules* out) {
  byte_reader r(bytes);
  for (uint32_t i = 0; i < count; ++i) {
    defs_rule_pattern p;
    if (!r.u32(&p.slot) || !r.u32(&p.length) || !r.u32(&p.flags)) return false;
    if (p.flags > kPatternPositions || p.length > (1u << 20)) return false;
    out->patterns.push_back(p);
  }
  return r.remaining() == 0;
}

bool decode_rules(std::string_view bytes, uint32_t count, defs_rules* out) {
  byte_reader r(bytes);
  for (uint32_t i = 0; i < count; ++i) {
    defs_rule d;
    uint32_t length = 0;
    std::string_view program;
    if (!r.u32(&d.entry) || !r.u32(&d.ns) || !r.u32(&d.first_slot) || !r.u32(&d.slot_count) ||
        !r.u32(&d.flags) || !r.u32(&length) || length > kMaxProgramSize ||
        !r.bytes(length, &program) || !r.skip((4 - length % 4) % 4)) {
      return false;
    }
    if (d.flags > (kRuleGlobal | kRuleNeedsMatch) || d.ns >= (1u << 24)) return false;
    // Slots are handed out in rule order, without gaps.
    if (d.first_slot != out->slots || d.slot_count > (1u << 24)) return false;
    d.program.assign(program);
    out->slots += d.slot_count;
    if (d.ns + 1 > out->namespaces) out->namespaces = d.ns + 1;
    out->rules.push_back(std::move(d));
  }
  return r.remaining() == 0;
}

bool check_rules(const defs_rules& r, size_t entries, std::string* err) {
  for (const defs_rule_pattern& p : r.patterns) {
    if (p.slot >= r.slots) return *err = "a rule pattern names an unknown string", false;
  }
  for (size_t i = 0; i < r.rules.size(); ++i) {
    const defs_rule& d = r.rules[i];
    if (d.entry != kNoEntry && d.entry >= entries)
      return *err = "a rule names an unknown entry", false;
    if (!check_program(d.program, r.slots, uint32_t(i), err)) return false;
  }
  return true;
}

void encode_rule_pattern(const defs_rule_pattern& p, std::string* out) {
  put_u32(out, p.slot);
  put_u32(out, p.length);
  put_u32(out, p.flags);
}

void encode_rule(const defs_rule& r, std::string* out) {
  for (uint32_t v :
       {r.entry, r.ns, r.first_slot, r.slot_count, r.flags, uint32_t(r.program.size())})
    put_u32(out, v);
  *out += r.program;
  out->append((4 - r.program.size() % 4) % 4, '\0');
}

}  // namespace qorvex
