#include "qorvex/src/defs_set.h"

#include <hs/hs.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <tuple>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/sha256.h"

namespace qorvex {
namespace {

std::atomic<uint64_t> next_serial{1};

bool decode_names(byte_reader* r, uint32_t count, defs_file* out) {
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t len = 0;
    std::string_view name;
    if (!r->u16(&len) || len == 0 || len > kMaxNameLength || !r->bytes(len, &name)) return false;
    if (name.find('\0') != std::string_view::npos) return false;
    out->names.emplace_back(name);
  }
  return true;
}

bool decode_entries(byte_reader* r, uint32_t count, defs_file* out) {
  for (uint32_t i = 0; i < count; ++i) {
    defs_entry e;
    uint8_t repair = 0;
    if (!r->u32(&e.name) || !r->u8(&e.kind) || !r->u8(&e.accuracy) || !r->u8(&e.heuristics) ||
        !r->u8(&repair) || !r->u32(&e.qualifiers)) {
      return false;
    }
    if (e.kind > kMaxKind || e.accuracy > kMaxAccuracy || e.heuristics > kMaxHeuristicLevel ||
        repair > uint8_t(repair_type::blank)) {
      return false;
    }
    e.repair = repair_type(repair);
    out->entries.push_back(e);
  }
  return true;
}

bool decode_patterns(byte_reader* r, uint32_t count, defs_file* out) {
  for (uint32_t i = 0; i < count; ++i) {
    defs_pattern p;
    uint32_t anchor = 0;
    if (!r->u32(&p.entry) || !r->u32(&anchor) || !r->u32(&p.length) || !r->u32(&p.offset))
      return false;
    if (anchor > uint32_t(anchor_type::end) || p.length == 0 || p.length > kMaxPatternLength)
      return false;
    p.anchor = anchor_type(anchor);
    out->patterns.push_back(p);
  }
  return true;
}

bool decode_hashes(byte_reader* r, uint32_t count, bool with_entry, std::vector<defs_hash>* out) {
  for (uint32_t i = 0; i < count; ++i) {
    defs_hash h;
    std::string_view sha;
    if (!r->bytes(32, &sha) || !r->u64(&h.size) || (with_entry && !r->u32(&h.entry))) return false;
    std::memcpy(h.sha.data(), sha.data(), 32);
    if (!out->empty() && std::tie(out->back().sha, out->back().size) >= std::tie(h.sha, h.size)) {
      return false;  // lookups rely on the order
    }
    out->push_back(h);
  }
  return true;
}

bool decode_section(uint32_t tag, uint32_t count, std::string_view bytes, defs_file* out) {
  byte_reader r(bytes);
  bool ok = true;
  switch (tag) {
    case kSectionNames:
      ok = decode_names(&r, count, out);
      break;
    case kSectionEntries:
      ok = decode_entries(&r, count, out);
      break;
    case kSectionPatterns:
      ok = decode_patterns(&r, count, out);
      break;
    case kSectionHashes:
      ok = decode_hashes(&r, count, true, &out->hashes);
      break;
    case kSectionAllow:
      ok = decode_hashes(&r, count, false, &out->allow);
      break;
    case kSectionDatabase:
      out->database = bytes;
      return !bytes.empty();
    case kSectionRulePatterns:
      return decode_rule_patterns(bytes, count, &out->rules);
    case kSectionRules:
      return decode_rules(bytes, count, &out->rules);
    default:
      return true;  // a section this version does not know
  }
  return ok && r.remaining() == 0;
}

bool check_indexes(const defs_file& f) {
  for (const defs_entry& e : f.entries) {
    if (e.name >= f.names.size()) return false;
  }
  for (const defs_pattern& p : f.patterns) {
    if (p.entry >= f.entries.size()) return false;
  }
  for (const defs_hash& h : f.hashes) {
    if (h.entry >= f.entries.size()) return false;
  }
  return (f.patterns.empty() && f.rules.patterns.empty()) == f.database.empty();
}

}  // namespace

bool decode_defs_file(std::string_view bytes, defs_role role, defs_file* out, std::string* err) {
  *out = defs_file();
  byte_reader r(bytes);
  std::string_view magic, id, checksum, payload;
  uint32_t version = 0, file_role = 0, sections = 0;
  uint64_t payload_size = 0;
  if (!r.bytes(kDefsMagic.size(), &magic) || magic != kDefsMagic) return *err = "bad magic", false;
  if (!r.u32(&version) || !r.u32(&file_role) || !r.bytes(kIdLength, &id) || !r.u32(&sections) ||
      !r.u64(&payload_size) || !r.bytes(32, &checksum)) {
    return *err = "truncated header", false;
  }
  if (version == 0 || version > kFormatVersion) {
    return *err = "unsupported format version " + std::to_string(version), false;
  }
  if (file_role != uint32_t(role)) return *err = "wrong kind of definitions file", false;
  for (char c : id) {
    if (c < '0' || c > '9') return *err = "bad identifier", false;
  }
  if (payload_size != r.remaining() || !r.bytes(r.remaining(), &payload)) {
    return *err = "length does not match the header (truncated or padded file)", false;
  }
  auto sum = sha256::of(payload);
  if (std::memcmp(sum.data(), checksum.data(), 32) != 0) return *err = "checksum mismatch", false;
  out->id.assign(id);
  byte_reader p(payload);
  for (uint32_t i = 0; i < sections; ++i) {
    uint32_t tag = 0, count = 0;
    uint64_t length = 0;
    std::string_view body;
    if (!p.u32(&tag) || !p.u32(&count) || !p.u64(&length) || !p.bytes(length, &body) ||
        !p.skip((8 - length % 8) % 8)) {
      return *err = "section " + std::to_string(i) + " runs past the end", false;
    }
    if (!decode_section(tag, count, body, out)) {
      return *err = "section " + std::to_string(i) + " is damaged", false;
    }
  }
  if (p.remaining() != 0) return *err = "bytes after the last section", false;
  if (!check_indexes(*out)) return *err = "an index points outside its table", false;
  return check_rules(out->rules, out->entries.size(), err);
}

defs_set::~defs_set() {
  hs_free_scratch(prototype_);
  hs_free_database(db_);
}

bool defs_set::create(defs_file signatures, defs_file companion, std::unique_ptr<defs_set>* out,
                      std::string* err) {
  std::unique_ptr<defs_set> set(new defs_set());
  set->serial_ = next_serial.fetch_add(1);
  set->signatures_ = std::move(signatures);
  set->companion_ = std::move(companion);
  for (const defs_hash& h : set->signatures_.hashes) set->hash_sizes_.push_back(h.size);
  for (const defs_hash& h : set->companion_.allow) set->hash_sizes_.push_back(h.size);
  std::sort(set->hash_sizes_.begin(), set->hash_sizes_.end());
  set->hash_sizes_.erase(std::unique(set->hash_sizes_.begin(), set->hash_sizes_.end()),
                         set->hash_sizes_.end());
  const defs_rules& rules = set->signatures_.rules;
  for (uint32_t i = 0; i < rules.rules.size(); ++i) {
    const defs_rule& r = rules.rules[i];
    set->slot_rules_.insert(set->slot_rules_.end(), r.slot_count, i);
    if (!(r.flags & kRuleNeedsMatch)) set->unconditional_rules_.push_back(i);
  }
  std::string_view db = set->signatures_.database;
  if (!db.empty()) {
    // A database built for another CPU generation is refused here rather than run.
    if (hs_deserialize_database(db.data(), db.size(), &set->db_) != HS_SUCCESS) {
      return *err = "the pattern database does not load on this machine", false;
    }
    if (hs_alloc_scratch(set->db_, &set->prototype_) != HS_SUCCESS) {
      return *err = "no memory for the matcher", false;
    }
  }
  set->signatures_.database = {};  // the bytes it points into go away after loading
  *out = std::move(set);
  return true;
}

bool defs_set::wants_hash(uint64_t size) const {
  return std::binary_search(hash_sizes_.begin(), hash_sizes_.end(), size);
}

namespace {
const defs_hash* lookup(const std::vector<defs_hash>& table, const digest& sha, uint64_t size) {
  auto it = std::lower_bound(
      table.begin(), table.end(), std::tie(sha, size),
      [](const defs_hash& h, const auto& key) { return std::tie(h.sha, h.size) < key; });
  if (it == table.end() || it->sha != sha || it->size != size) return nullptr;
  return &*it;
}
}  // namespace

int64_t defs_set::find_hash(const digest& sha, uint64_t size) const {
  const defs_hash* h = lookup(signatures_.hashes, sha, size);
  return h == nullptr ? -1 : int64_t(h->entry);
}

bool defs_set::allowed(const digest& sha, uint64_t size) const {
  return lookup(companion_.allow, sha, size) != nullptr;
}

hs_scratch* defs_set::clone_scratch() const {
  if (prototype_ == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(clone_mutex_);
  hs_scratch* copy = nullptr;
  if (hs_clone_scratch(prototype_, &copy) != HS_SUCCESS) return nullptr;
  return copy;
}

}  // namespace qorvex
