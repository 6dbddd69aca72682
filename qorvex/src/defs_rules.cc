#include "qorvex/src/defs_rules.h"

#include "qorvex/src/byte_io.h"
#include "qorvex/src/condition.h"

namespace qorvex {

bool decode_rule_patterns(std::string_view bytes, uint32_t count, defs_rules* out) {
  byte_reader r(bytes);
  for (uint32_t i = 0; i < count; ++i) {
    defs_rule_pattern p;
    if (!r.u32(&p.slot) || !r.u32(&p.length) || !r.u32(&p.flags)) return false;
    if (p.flags > (kPatternPositions | kPatternVerify) || p.length > (1u << 20)) return false;
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

bool decode_rule_verify(std::string_view bytes, uint32_t count, defs_rules* out) {
  byte_reader r(bytes);
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t index = 0, anchor_end = 0, max_length = 0, length = 0;
    std::string_view body;
    if (!r.u32(&index) || !r.u32(&anchor_end) || !r.u32(&max_length) || !r.u32(&length) ||
        !r.bytes(length, &body) || !r.skip((4 - length % 4) % 4)) {
      return false;
    }
    // Read after the patterns (sections are written in that order).
    if (index >= out->patterns.size() || max_length > kYaraScanLimit) return false;
    defs_rule_pattern& p = out->patterns[index];
    auto info = std::make_shared<hex_info>();
    std::string err;
    if (!(p.flags & kPatternVerify) || p.tokens || !parse_hex(body, info.get(), &err) ||
        hex_verify_cost(info->tokens) > kMaxVerifySteps || info->max_length > max_length) {
      return false;
    }
    p.anchor_end = anchor_end;
    p.max_length = max_length;
    p.tokens = std::shared_ptr<const hex_sequence>(info, &info->tokens);
  }
  return r.remaining() == 0;
}

bool check_rules(const defs_rules& r, size_t entries, std::string* err) {
  for (const defs_rule_pattern& p : r.patterns) {
    if (p.slot >= r.slots) return *err = "a rule pattern names an unknown string", false;
    if ((p.flags & kPatternVerify) && !p.tokens)
      return *err = "a rule pattern lacks its hex string", false;
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

void encode_rule_verify(uint32_t pattern, uint32_t anchor_end, uint32_t max_length,
                        std::string_view body, std::string* out) {
  for (uint32_t v : {pattern, anchor_end, max_length, uint32_t(body.size())}) put_u32(out, v);
  *out += body;
  out->append((4 - body.size() % 4) % 4, '\0');
}

}  // namespace qorvex
