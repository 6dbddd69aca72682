#include "qorvex/src/defs_set.h"

#include <hs/hs.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/database_memory.h"
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

bool decode_entry(byte_reader* r, defs_entry* e) {
  uint8_t repair = 0;
  if (!r->u32(&e->name) || !r->u8(&e->kind) || !r->u8(&e->accuracy) || !r->u8(&e->heuristics) ||
      !r->u8(&repair) || !r->u32(&e->qualifiers)) {
    return false;
  }
  if (e->kind > kMaxKind || e->accuracy > kMaxAccuracy || e->heuristics > kMaxHeuristicLevel ||
      repair > uint8_t(repair_type::blank)) {
    return false;
  }
  e->repair = repair_type(repair);
  return true;
}

bool decode_entries(byte_reader* r, uint32_t count, defs_file* out) {
  for (uint32_t i = 0; i < count; ++i) {
    defs_entry e;
    if (!decode_entry(r, &e)) return false;
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

// A version 1 SHA-256 table: checked in full, since version 1 files are small.
bool check_v1_hashes(std::string_view bytes, uint32_t count, bool with_entry) {
  size_t record = hash_table::record_size(hash_type::sha256, with_entry);
  if (bytes.size() != size_t(count) * record) return false;
  for (size_t i = 1; i < count; ++i) {
    const char* a = bytes.data() + (i - 1) * record;
    const char* b = a + record;
    int c = std::memcmp(a, b, 32);
    if (c > 0 || (c == 0 && common::le64(a + 32) >= common::le64(b + 32))) return false;
  }
  return true;
}

// A table used in place: only its length is checked here.
bool take_table(std::string_view bytes, uint32_t count, size_t record, std::string_view* out) {
  if (bytes.size() != size_t(count) * record) return false;
  *out = bytes;
  return true;
}

bool decode_v2_section(uint32_t tag, uint32_t count, std::string_view bytes, defs_file* out) {
  if (tag == kSectionNameOffsets) return take_table(bytes, count + 1, 4, &out->name_offsets);
  if (tag == kSectionNameText) return (out->name_text = bytes), true;
  if (tag == kSectionEntryTable) return take_table(bytes, count, kEntrySize, &out->entry_table);
  for (int t = 0; t < kHashTypes; ++t) {
    size_t with = hash_table::record_size(hash_type(t), true);
    size_t without = hash_table::record_size(hash_type(t), false);
    if (tag == kSectionHashTable + t) return take_table(bytes, count, with, &out->hashes[t]);
    if (tag == kSectionAllowTable + t) return take_table(bytes, count, without, &out->allow[t]);
    if (tag == kSectionSectionTable + t) return take_table(bytes, count, with, &out->sections[t]);
    if (tag == kSectionHashSizes + t) return take_table(bytes, count, 8, &out->hash_sizes[t]);
    if (tag == kSectionAllowSizes + t) return take_table(bytes, count, 8, &out->allow_sizes[t]);
    if (tag == kSectionSectionSizes + t) return take_table(bytes, count, 8, &out->section_sizes[t]);
    if (tag == kSectionHashIndex + t)
      return take_table(bytes, kHashIndexSize + 1, 4, &out->hash_index[t]);
  }
  return true;  // a section this version does not know
}

bool decode_section(uint32_t tag, uint32_t count, std::string_view bytes, defs_file* out) {
  byte_reader r(bytes);
  bool ok = true;
  constexpr int kSha = int(hash_type::sha256);
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
      out->hashes[kSha] = bytes;
      return check_v1_hashes(bytes, count, true);
    case kSectionAllow:
      out->allow[kSha] = bytes;
      return check_v1_hashes(bytes, count, false);
    case kSectionDatabase:
      out->database = bytes;
      return !bytes.empty();
    case kSectionRulePatterns:
      return decode_rule_patterns(bytes, count, &out->rules);
    case kSectionRuleVerify:
      return decode_rule_verify(bytes, count, &out->rules);
    case kSectionRules:
      return decode_rules(bytes, count, &out->rules);
    default:
      return decode_v2_section(tag, count, bytes, out);
  }
  return ok && r.remaining() == 0;
}

bool check_indexes(const defs_file& f) {
  size_t names = f.name_count(), entries = f.entry_count();
  for (const defs_entry& e : f.entries) {
    if (e.name >= names) return false;
  }
  for (const defs_pattern& p : f.patterns) {
    if (p.entry >= entries) return false;
  }
  if (f.version == 1) {
    hash_table t(f.hashes[int(hash_type::sha256)], 32, true);
    for (size_t i = 0; i < t.size(); ++i) {
      if (t.entry(i) >= entries) return false;
    }
  }
  return (f.patterns.empty() && f.rules.patterns.empty()) == f.database.empty();
}

}  // namespace

size_t defs_file::name_count() const {
  return name_offsets.empty() ? names.size() : name_offsets.size() / 4 - 1;
}

std::string_view defs_file::name(size_t i) const {
  if (name_offsets.empty()) return i < names.size() ? std::string_view(names[i]) : "";
  if (i + 1 >= name_offsets.size() / 4) return {};
  uint32_t from = common::le32(name_offsets.data() + 4 * i);
  uint32_t to = common::le32(name_offsets.data() + 4 * i + 4);
  if (from > to || to > name_text.size() || to - from > kMaxNameLength) return {};
  return name_text.substr(from, to - from);
}

size_t defs_file::entry_count() const {
  return entry_table.empty() ? entries.size() : entry_table.size() / kEntrySize;
}

bool defs_file::entry(size_t i, defs_entry* out) const {
  if (entry_table.empty()) {
    if (i >= entries.size()) return false;
    *out = entries[i];
    return true;
  }
  if (i >= entry_count()) return false;
  byte_reader r(entry_table.substr(i * kEntrySize, kEntrySize));
  return decode_entry(&r, out) && !name(out->name).empty();
}

size_t defs_file::hash_count() const {
  size_t n = 0;
  for (int t = 0; t < kHashTypes; ++t) {
    n += hashes[t].size() / hash_table::record_size(hash_type(t), true);
    n += sections[t].size() / hash_table::record_size(hash_type(t), true);
  }
  return n;
}

size_t defs_file::allow_count() const {
  size_t n = 0;
  for (int t = 0; t < kHashTypes; ++t)
    n += allow[t].size() / hash_table::record_size(hash_type(t), false);
  return n;
}

bool decode_defs_file(std::string_view bytes, defs_role role, defs_file* out, std::string* err,
                      bool full) {
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
  if (version == 1 || full || payload.size() <= kFullCheckLimit) {
    auto sum = sha256::of(payload);
    if (std::memcmp(sum.data(), checksum.data(), 32) != 0) return *err = "checksum mismatch", false;
  }
  out->version = version;
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
    // Version 1 files know only the first six tags; later ones there are skipped as unknown.
    if (version == 1 && tag > kSectionAllow) continue;
    if (!decode_section(tag, count, body, out)) {
      return *err = "section " + std::to_string(i) + " is damaged", false;
    }
  }
  if (p.remaining() != 0) return *err = "bytes after the last section", false;
  if (!check_indexes(*out)) return *err = "an index points outside its table", false;
  return check_rules(out->rules, out->entry_count(), err);
}

defs_set::~defs_set() {
  hs_free_scratch(prototype_);
  if (db_memory_.data() == nullptr) hs_free_database(db_);
}

namespace {
// Databases from this size on are deserialized into huge pages (database_memory.h).
constexpr size_t kHugePageDatabase = 4 << 20;

// The sorted, unique sizes of a version 1 table, as a size list's bytes.
std::string sizes_of(std::string_view table, bool with_entry) {
  size_t record = hash_table::record_size(hash_type::sha256, with_entry);
  std::vector<uint64_t> sizes;
  for (size_t at = 0; at + record <= table.size(); at += record)
    sizes.push_back(common::le64(table.data() + at + 32));
  std::sort(sizes.begin(), sizes.end());
  sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
  std::string out;
  for (uint64_t s : sizes) put_u64(&out, s);
  return out;
}
}  // namespace

bool defs_set::create(defs_file signatures, defs_file companion, std::unique_ptr<defs_set>* out,
                      std::string* err) {
  std::unique_ptr<defs_set> set(new defs_set());
  set->serial_ = next_serial.fetch_add(1);
  set->signatures_ = std::move(signatures);
  set->companion_ = std::move(companion);
  const defs_file& sig = set->signatures_;
  const defs_file& com = set->companion_;
  constexpr int kSha = int(hash_type::sha256);
  if (sig.version == 1) set->v1_hash_sizes_ = sizes_of(sig.hashes[kSha], true);
  if (com.version == 1) set->v1_allow_sizes_ = sizes_of(com.allow[kSha], false);
  for (int t = 0; t < kHashTypes; ++t) {
    size_t len = digest_length(hash_type(t));
    typed_tables& tt = set->tables_[t];
    tt.hashes = hash_table(sig.hashes[t], len, true);
    tt.hashes.set_index(sig.hash_index[t]);
    tt.sections = hash_table(sig.sections[t], len, true);
    tt.allow = hash_table(com.allow[t], len, false);
    tt.hash_sizes = size_list(sig.hash_sizes[t]);
    tt.section_sizes = size_list(sig.section_sizes[t]);
    tt.allow_sizes = size_list(com.allow_sizes[t]);
    if (tt.sections.size() > 0) set->section_types_ |= 1u << t;
  }
  if (sig.version == 1) set->tables_[kSha].hash_sizes = size_list(set->v1_hash_sizes_);
  if (com.version == 1) set->tables_[kSha].allow_sizes = size_list(set->v1_allow_sizes_);
  const defs_rules& rules = sig.rules;
  for (uint32_t i = 0; i < rules.rules.size(); ++i) {
    const defs_rule& r = rules.rules[i];
    set->slot_rules_.insert(set->slot_rules_.end(), r.slot_count, i);
    if (!(r.flags & kRuleNeedsMatch)) set->unconditional_rules_.push_back(i);
  }
  std::string_view db = sig.database;
  if (!db.empty()) {
    // A database built for another CPU generation is refused here rather than run.
    prefault(db);
    size_t need = 0;
    hs_error_t rc = HS_INVALID;
    if (db.size() >= kHugePageDatabase &&
        hs_serialized_database_size(db.data(), db.size(), &need) == HS_SUCCESS &&
        set->db_memory_.reserve(need)) {
      auto* at = static_cast<hs_database_t*>(set->db_memory_.data());
      rc = hs_deserialize_database_at(db.data(), db.size(), at);
      if (rc == HS_SUCCESS) set->db_ = at;
    } else {
      rc = hs_deserialize_database(db.data(), db.size(), &set->db_);
    }
    if (rc != HS_SUCCESS) return *err = "the pattern database does not load on this machine", false;
    if (hs_alloc_scratch(set->db_, &set->prototype_) != HS_SUCCESS) {
      return *err = "no memory for the matcher", false;
    }
  }
  set->signatures_.database = {};  // deserialized: its bytes are not read again
  *out = std::move(set);
  return true;
}

unsigned defs_set::hash_types(uint64_t size) const {
  unsigned types = 0;
  for (int t = 0; t < kHashTypes; ++t) {
    for (const size_list* l : {&tables_[t].hash_sizes, &tables_[t].allow_sizes}) {
      // kAnySize, the largest value, sorts last.
      if (l->size() > 0 && (l->at(l->size() - 1) == kAnySize || l->contains(size)))
        types |= 1u << t;
    }
  }
  return types;
}

bool defs_set::wants_section(hash_type t, uint64_t size) const {
  const size_list& l = tables_[int(t)].section_sizes;
  return l.size() > 0 && (l.at(l.size() - 1) == kAnySize || l.contains(size));
}

namespace {
int64_t entry_of(const hash_table& table, const uint8_t* digest, uint64_t size) {
  int64_t i = table.find(digest, size);
  return i < 0 ? -1 : int64_t(table.entry(size_t(i)));
}
}  // namespace

int64_t defs_set::find_hash(hash_type t, const uint8_t* digest, uint64_t size) const {
  return entry_of(tables_[int(t)].hashes, digest, size);
}

int64_t defs_set::find_section(hash_type t, const uint8_t* digest, uint64_t size) const {
  return entry_of(tables_[int(t)].sections, digest, size);
}

bool defs_set::allowed(hash_type t, const uint8_t* digest, uint64_t size) const {
  return tables_[int(t)].allow.find(digest, size) >= 0;
}

hs_scratch* defs_set::clone_scratch() const {
  if (prototype_ == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(clone_mutex_);
  hs_scratch* copy = nullptr;
  if (hs_clone_scratch(prototype_, &copy) != HS_SUCCESS) return nullptr;
  return copy;
}

}  // namespace qorvex
