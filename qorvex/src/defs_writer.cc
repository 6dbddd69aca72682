#include "qorvex/src/defs_writer.h"

#include <hs/hs.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/defs_rules.h"
#include "qorvex/src/sha256.h"

namespace qorvex {
namespace {

// Builds a file section by section, straight into its final bytes: a definitions set of
// millions of hashes is never held twice.
class file_builder {
 public:
  explicit file_builder(defs_role role, const std::string& id) : role_(role), id_(id) {
    file_.assign(kHeaderSize, '\0');
  }
  void add(uint32_t tag, uint32_t count, std::string_view bytes) {
    put_u32(&file_, tag);
    put_u32(&file_, count);
    put_u64(&file_, bytes.size());
    file_ += bytes;
    file_.append((8 - bytes.size() % 8) % 8, '\0');
    ++sections_;
  }
  std::string finish() {
    std::string header(kDefsMagic);
    put_u32(&header, kFormatVersion);
    put_u32(&header, uint32_t(role_));
    header += id_;
    put_u32(&header, sections_);
    put_u64(&header, file_.size() - kHeaderSize);
    auto digest = sha256::of(std::string_view(file_).substr(kHeaderSize));
    header.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    file_.replace(0, kHeaderSize, header);
    return std::move(file_);
  }

 private:
  defs_role role_;
  std::string id_;
  std::string file_;
  uint32_t sections_ = 0;
};

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
    // A literal that stands for a hex string reports every match: each is a place to check.
    flags.push_back(p.flags | (p.positions || !p.verify.empty() ? 0 : HS_FLAG_SINGLEMATCH));
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

}  // namespace

namespace {

// The names of every signature, sorted and unique, and each one's index.
class name_table {
 public:
  explicit name_table(const source_set& set) {
    for (const source_entry& e : set.entries) names_.push_back(e.name);
    for (const hash_entry& h : set.hashes) {
      if (!h.allow) names_.push_back(set.name_of(h));
    }
    for (const compiled_rule& r : set.rules.rules) {
      if (!r.is_private) names_.push_back(r.name);
    }
    std::sort(names_.begin(), names_.end());
    names_.erase(std::unique(names_.begin(), names_.end()), names_.end());
  }
  uint32_t index(std::string_view name) const {
    return uint32_t(std::lower_bound(names_.begin(), names_.end(), name) - names_.begin());
  }
  void write(file_builder* f) const {
    std::string offsets, text;
    for (std::string_view n : names_) {
      put_u32(&offsets, uint32_t(text.size()));
      text += n;
    }
    put_u32(&offsets, uint32_t(text.size()));
    f->add(kSectionNameOffsets, uint32_t(names_.size()), offsets);
    f->add(kSectionNameText, 0, text);
  }

 private:
  std::vector<std::string_view> names_;
};

void put_entry(std::string* out, uint32_t name, int kind, int accuracy, int heuristics,
               repair_type repair, uint32_t qualifiers) {
  put_u32(out, name);
  for (int v : {kind, accuracy, heuristics, int(repair)}) put_u8(out, uint8_t(v));
  put_u32(out, qualifiers);
}

// One sorted table of hash records of a type, and its size list. `pick` selects the hashes of
// set.hashes that go in; entry[i] is the entry index of set.hashes[i] (unused for allow values).
bool write_hash_table(const source_set& set, hash_type type, const std::vector<uint32_t>* entry,
                      bool (*pick)(const hash_entry&), uint32_t table_tag, uint32_t sizes_tag,
                      file_builder* f, std::string* err) {
  size_t len = digest_length(type);
  std::vector<uint32_t> order;
  for (uint32_t i = 0; i < set.hashes.size(); ++i) {
    if (set.hashes[i].type == type && pick(set.hashes[i])) order.push_back(i);
  }
  if (order.empty()) return true;
  auto key_less = [&](uint32_t a, uint32_t b) {
    const hash_entry &x = set.hashes[a], &y = set.hashes[b];
    int c = std::memcmp(x.digest.data(), y.digest.data(), len);
    return c != 0 ? c < 0 : x.size < y.size;
  };
  std::stable_sort(order.begin(), order.end(), key_less);
  std::string records, index;
  std::vector<uint64_t> sizes;
  uint32_t count = 0;
  size_t next_prefix = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const hash_entry& h = set.hashes[order[k]];
    if (k > 0 && !key_less(order[k - 1], order[k])) {
      // The same file twice: allow values and entries of foreign databases keep the first.
      if (entry == nullptr || (h.lenient && set.hashes[order[k - 1]].lenient)) continue;
      return *err = set.where(h) + ": duplicate hash", false;
    }
    for (size_t p = size_t(h.digest[0]) << 8 | h.digest[1]; next_prefix <= p; ++next_prefix)
      put_u32(&index, count);
    records.append(reinterpret_cast<const char*>(h.digest.data()), len);
    put_u64(&records, h.size);
    if (entry != nullptr) put_u32(&records, (*entry)[order[k]]);
    sizes.push_back(h.size);
    ++count;
  }
  f->add(table_tag + uint32_t(type), count, records);
  records = std::string();
  if (table_tag == kSectionHashTable) {
    for (; next_prefix <= kHashIndexSize; ++next_prefix) put_u32(&index, count);
    f->add(kSectionHashIndex + uint32_t(type), 0, index);
  }
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  for (uint64_t v : sizes) put_u64(&records, v);
  f->add(sizes_tag + uint32_t(type), uint32_t(sizes.size()), records);
  return true;
}

// The rules' entries (appended after the others), their patterns and their programs.
void add_rule_sections(const rule_set& rules, const name_table& names, std::string* entries,
                       uint32_t* count, file_builder* f) {
  if (rules.rules.empty()) return;
  std::string pattern_bytes, rule_bytes;
  std::string verify_bytes;
  uint32_t verified = 0;
  for (const rule_pattern& p : rules.patterns) {
    uint32_t flags =
        (p.positions ? kPatternPositions : 0) | (p.verify.empty() ? 0 : kPatternVerify);
    defs_rule_pattern record;
    record.slot = p.slot;
    record.length = p.length;
    record.flags = flags;
    encode_rule_pattern(record, &pattern_bytes);
    if (!p.verify.empty()) {
      encode_rule_verify(uint32_t(&p - rules.patterns.data()), p.anchor_end, p.max_length, p.verify,
                         &verify_bytes);
      ++verified;
    }
  }
  for (const compiled_rule& r : rules.rules) {
    defs_rule d;
    if (!r.is_private) {
      d.entry = (*count)++;
      put_entry(entries, names.index(r.name), r.kind, r.accuracy, 0, repair_type::none, 0);
    }
    d.ns = r.ns;
    d.first_slot = r.first_slot;
    d.slot_count = r.slot_count;
    d.flags = (r.is_global ? kRuleGlobal : 0) | (r.needs_match ? kRuleNeedsMatch : 0);
    d.program = r.program;
    encode_rule(d, &rule_bytes);
  }
  f->add(kSectionRulePatterns, uint32_t(rules.patterns.size()), pattern_bytes);
  f->add(kSectionRules, uint32_t(rules.rules.size()), rule_bytes);
  if (verified > 0) f->add(kSectionRuleVerify, verified, verify_bytes);
}

bool is_file_hash(const hash_entry& h) { return !h.allow && !h.section; }
bool is_section_hash(const hash_entry& h) { return !h.allow && h.section; }
bool is_allow(const hash_entry& h) { return h.allow; }

}  // namespace

bool compile_defs(const source_set& set, const std::string& id, compiled_defs* out,
                  std::string* err, bool portable) {
  if (!valid_defs_id(id)) return *err = "bad identifier '" + id + "'", false;
  file_builder sig(defs_role::signatures, id);
  {
    name_table names(set);
    names.write(&sig);
    // Entries: the patterns first, their index also the pattern index, then the hashes.
    std::string entries, patterns;
    std::vector<const source_entry*> pattern_entries;
    uint32_t count = 0;
    for (const source_entry& e : set.entries) {
      put_entry(&entries, names.index(e.name), e.kind, e.accuracy, e.heuristics, e.repair,
                e.qualifiers);
      put_u32(&patterns, count++);
      put_u32(&patterns, uint32_t(e.anchor));
      put_u32(&patterns, uint32_t(e.pattern.size()));
      put_u32(&patterns, e.offset);
      pattern_entries.push_back(&e);
    }
    std::vector<uint32_t> entry_of(set.hashes.size(), 0);
    for (size_t i = 0; i < set.hashes.size(); ++i) {
      const hash_entry& h = set.hashes[i];
      if (h.allow) continue;
      entry_of[i] = count++;
      put_entry(&entries, names.index(set.name_of(h)), h.kind, h.accuracy, h.heuristics,
                repair_type::none, h.qualifiers);
    }
    add_rule_sections(set.rules, names, &entries, &count, &sig);
    sig.add(kSectionEntryTable, count, entries);
    entries = std::string();
    sig.add(kSectionPatterns, uint32_t(pattern_entries.size()), patterns);
    for (int t = 0; t < kHashTypes; ++t) {
      if (!write_hash_table(set, hash_type(t), &entry_of, is_file_hash, kSectionHashTable,
                            kSectionHashSizes, &sig, err) ||
          !write_hash_table(set, hash_type(t), &entry_of, is_section_hash, kSectionSectionTable,
                            kSectionSectionSizes, &sig, err)) {
        return false;
      }
    }
    if (!pattern_entries.empty() || !set.rules.patterns.empty()) {
      std::string db;
      if (!compile_database(pattern_entries, set.rules, portable, &db, err)) return false;
      sig.add(kSectionDatabase, 0, db);
    }
  }
  file_builder companion(defs_role::companion, id);
  for (int t = 0; t < kHashTypes; ++t) {
    write_hash_table(set, hash_type(t), nullptr, is_allow, kSectionAllowTable, kSectionAllowSizes,
                     &companion, err);
  }
  out->signatures = sig.finish();
  out->companion = companion.finish();
  return true;
}

}  // namespace qorvex
