#include "qorvex/src/defs_writer.h"

#include <hs/hs.h>

#include <algorithm>
#include <map>
#include <memory>
#include <tuple>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/defs_rules.h"
#include "qorvex/src/sha256.h"

namespace qorvex {
namespace {

struct section {
  uint32_t tag;
  uint32_t count;
  std::string bytes;
};

std::string build_file(defs_role role, const std::string& id,
                       const std::vector<section>& sections) {
  std::string payload;
  for (const section& s : sections) {
    put_u32(&payload, s.tag);
    put_u32(&payload, s.count);
    put_u64(&payload, s.bytes.size());
    payload += s.bytes;
    payload.append((8 - s.bytes.size() % 8) % 8, '\0');
  }
  std::string file(kDefsMagic);
  put_u32(&file, kFormatVersion);
  put_u32(&file, uint32_t(role));
  file += id;
  put_u32(&file, uint32_t(sections.size()));
  put_u64(&file, payload.size());
  auto digest = sha256::of(payload);
  file.append(reinterpret_cast<const char*>(digest.data()), digest.size());
  return file + payload;
}

using digest_key = std::tuple<sha256_digest, uint64_t>;

// The pattern database: one streaming database holding every pattern, its id the pattern index.
// Rule patterns follow the plain ones.
bool compile_database(const std::vector<const source_entry*>& patterns, const rule_set& rules,
                      bool portable, std::string* out, std::string* err) {
  std::vector<std::string> regexes;
  std::vector<const char*> exprs;
  std::vector<unsigned> flags, ids;
  std::vector<hs_expr_ext_t> exts(patterns.size());
  std::vector<const hs_expr_ext_t*> ext_ptrs;
  for (size_t i = 0; i < patterns.size(); ++i)
    regexes.push_back(pattern_to_regex(patterns[i]->pattern));
  for (size_t i = 0; i < patterns.size(); ++i) {
    const source_entry& e = *patterns[i];
    exprs.push_back(regexes[i].c_str());
    // An end anchor is checked against each match's offset, so it needs every match, not the
    // first one only.
    flags.push_back(HS_FLAG_DOTALL | (e.anchor == anchor_type::end ? 0 : HS_FLAG_SINGLEMATCH));
    ids.push_back(unsigned(i));
    ext_ptrs.push_back(nullptr);
    if (e.anchor == anchor_type::start) {
      exts[i].flags = HS_EXT_FLAG_MIN_OFFSET | HS_EXT_FLAG_MAX_OFFSET;
      exts[i].min_offset = exts[i].max_offset = uint64_t(e.offset) + e.pattern.size();
      ext_ptrs.back() = &exts[i];
    }
  }
  for (size_t i = 0; i < rules.patterns.size(); ++i) {
    const rule_pattern& p = rules.patterns[i];
    exprs.push_back(p.regex.c_str());
    flags.push_back(p.flags | (p.positions ? 0 : HS_FLAG_SINGLEMATCH));
    ids.push_back(unsigned(patterns.size() + i));
    ext_ptrs.push_back(nullptr);
  }
  // No instruction set extensions and generic tuning: loads on every 64-bit x86 processor.
  hs_platform_info_t generic{HS_TUNE_FAMILY_GENERIC, 0, 0, 0};
  hs_database_t* db = nullptr;
  hs_compile_error_t* cerr = nullptr;
  if (hs_compile_ext_multi(exprs.data(), flags.data(), ids.data(), ext_ptrs.data(),
                           unsigned(exprs.size()), HS_MODE_STREAM, portable ? &generic : nullptr,
                           &db, &cerr) != HS_SUCCESS) {
    int at = cerr->expression;
    *err = (at >= 0 && size_t(at) < patterns.size() ? patterns[size_t(at)]->where + ": "
            : at >= 0                               ? "rule string " + std::to_string(at) + ": "
                                                    : std::string()) +
           "pattern database: " + cerr->message;
    hs_free_compile_error(cerr);
    return false;
  }
  char* bytes = nullptr;
  size_t length = 0;
  hs_error_t rc = hs_serialize_database(db, &bytes, &length);
  hs_free_database(db);
  if (rc != HS_SUCCESS) return *err = "pattern database could not be serialized", false;
  out->assign(bytes, length);
  free(bytes);
  return true;
}

// The rules' entries (after the signatures'), their patterns and their programs.
void add_rule_sections(const rule_set& rules, const std::map<std::string, uint32_t>& names,
                       section* entries, std::vector<section>* out) {
  section pattern_sec{kSectionRulePatterns, uint32_t(rules.patterns.size()), {}};
  for (const rule_pattern& p : rules.patterns) {
    encode_rule_pattern({p.slot, p.length, p.positions ? kPatternPositions : 0},
                        &pattern_sec.bytes);
  }
  section rule_sec{kSectionRules, uint32_t(rules.rules.size()), {}};
  for (const compiled_rule& r : rules.rules) {
    defs_rule d;
    if (!r.is_private) {
      d.entry = entries->count++;
      put_u32(&entries->bytes, names.at(r.name));
      for (int v : {r.kind, r.accuracy, 0, 0}) put_u8(&entries->bytes, uint8_t(v));
      put_u32(&entries->bytes, 0);
    }
    d.ns = r.ns;
    d.first_slot = r.first_slot;
    d.slot_count = r.slot_count;
    d.flags = (r.is_global ? kRuleGlobal : 0) | (r.needs_match ? kRuleNeedsMatch : 0);
    d.program = r.program;
    encode_rule(d, &rule_sec.bytes);
  }
  if (rules.rules.empty()) return;
  out->push_back(std::move(pattern_sec));
  out->push_back(std::move(rule_sec));
}

}  // namespace

bool compile_defs(const source_set& set, const std::string& id, compiled_defs* out,
                  std::string* err, bool portable) {
  if (!valid_defs_id(id)) return *err = "bad identifier '" + id + "'", false;
  std::map<std::string, uint32_t> names;
  std::vector<const source_entry*> signatures, patterns;
  std::vector<digest_key> allow;
  for (const source_entry& e : set.entries) {
    if (e.type == entry_type::allow) {
      allow.emplace_back(e.digest, e.size);
      continue;
    }
    names[e.name] = 0;
    signatures.push_back(&e);
    if (e.type == entry_type::pattern) patterns.push_back(&e);
  }
  for (const compiled_rule& r : set.rules.rules) {
    if (!r.is_private) names[r.name] = 0;
  }
  section name_sec{kSectionNames, uint32_t(names.size()), {}};
  uint32_t next = 0;
  for (auto& [name, index] : names) {
    index = next++;
    put_u16(&name_sec.bytes, uint16_t(name.size()));
    name_sec.bytes += name;
  }
  section entry_sec{kSectionEntries, uint32_t(signatures.size()), {}};
  section pattern_sec{kSectionPatterns, uint32_t(patterns.size()), {}};
  std::vector<std::tuple<sha256_digest, uint64_t, uint32_t, std::string>> hashes;
  for (uint32_t i = 0; i < signatures.size(); ++i) {
    const source_entry& e = *signatures[i];
    put_u32(&entry_sec.bytes, names[e.name]);
    for (int v : {e.kind, e.accuracy, e.heuristics, int(e.repair)}) {
      put_u8(&entry_sec.bytes, uint8_t(v));
    }
    put_u32(&entry_sec.bytes, e.qualifiers);
    if (e.type == entry_type::hash) {
      hashes.emplace_back(e.digest, e.size, i, e.where);
      continue;
    }
    put_u32(&pattern_sec.bytes, i);
    put_u32(&pattern_sec.bytes, uint32_t(e.anchor));
    put_u32(&pattern_sec.bytes, uint32_t(e.pattern.size()));
    put_u32(&pattern_sec.bytes, e.offset);
  }
  std::sort(hashes.begin(), hashes.end());
  section hash_sec{kSectionHashes, uint32_t(hashes.size()), {}};
  for (size_t i = 0; i < hashes.size(); ++i) {
    auto& [digest, size, entry, where] = hashes[i];
    if (i > 0 && std::get<0>(hashes[i - 1]) == digest && std::get<1>(hashes[i - 1]) == size) {
      return *err = where + ": duplicate hash", false;
    }
    hash_sec.bytes.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    put_u64(&hash_sec.bytes, size);
    put_u32(&hash_sec.bytes, entry);
  }
  std::vector<section> sig_sections{name_sec, entry_sec, pattern_sec, hash_sec};
  add_rule_sections(set.rules, names, &entry_sec, &sig_sections);
  sig_sections[1] = entry_sec;
  if (!patterns.empty() || !set.rules.patterns.empty()) {
    section db_sec{kSectionDatabase, 0, {}};
    if (!compile_database(patterns, set.rules, portable, &db_sec.bytes, err)) return false;
    sig_sections.push_back(std::move(db_sec));
  }
  std::sort(allow.begin(), allow.end());
  allow.erase(std::unique(allow.begin(), allow.end()), allow.end());
  section allow_sec{kSectionAllow, uint32_t(allow.size()), {}};
  for (auto& [digest, size] : allow) {
    allow_sec.bytes.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    put_u64(&allow_sec.bytes, size);
  }
  out->signatures = build_file(defs_role::signatures, id, sig_sections);
  out->companion = build_file(defs_role::companion, id, {allow_sec});
  return true;
}

}  // namespace qorvex
