// A loaded, immutable definitions set: the signatures file and the companion file of one
// definitions folder. Shared by every engine object created from that folder (defs_registry.h).
#ifndef QORVEX_SRC_DEFS_SET_H_
#define QORVEX_SRC_DEFS_SET_H_

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/database_memory.h"
#include "qorvex/src/defs_format.h"
#include "qorvex/src/defs_rules.h"
#include "qorvex/src/hash_table.h"

struct hs_database;
struct hs_scratch;

namespace qorvex {

using digest = std::array<uint8_t, 32>;

struct defs_entry {
  uint32_t name = 0;
  uint8_t kind = 0;
  uint8_t accuracy = 0;
  uint8_t heuristics = 0;
  repair_type repair = repair_type::none;
  uint32_t qualifiers = 0;
};

struct defs_pattern {
  uint32_t entry = 0;
  anchor_type anchor = anchor_type::none;
  uint32_t length = 0;
  uint32_t offset = 0;
};

// The content of one file, before the pattern database is made usable. Version 1 sections are
// decoded and checked; version 2 tables are views into the file's bytes, which must stay alive
// (`storage` may hold them).
struct defs_file {
  uint32_t version = 0;
  std::string id;
  std::vector<std::string> names;  // version 1
  std::string_view name_offsets, name_text;
  std::vector<defs_entry> entries;  // version 1
  std::string_view entry_table;
  std::vector<defs_pattern> patterns;
  // Per hash type: whole-file hash records, allow-list records, PE section hash records, and the
  // sorted sizes of each. Version 1 holds SHA-256 tables only and no size lists.
  std::array<std::string_view, kHashTypes> hashes, allow, sections;
  std::array<std::string_view, kHashTypes> hash_sizes, allow_sizes, section_sizes, hash_index;
  defs_rules rules;  // rules with conditions, decoded at load in both versions
  // The serialized pattern database, empty when there are no patterns.
  std::string_view database;
  std::shared_ptr<const void> storage;

  size_t name_count() const;
  std::string_view name(size_t i) const;  // empty when i or its offsets are out of range
  size_t entry_count() const;
  // The entry at index i; false when i is out of range or the record is damaged.
  bool entry(size_t i, defs_entry* out) const;
  size_t hash_count() const;   // whole-file and section hash records, all types
  size_t allow_count() const;  // allow-list records, all types
};

// A version 2 payload larger than this is not checksummed at load (unless `full`): hashing it
// would read every page of tables that are meant to be used in place, a lookup touching only a
// few pages. Its structure is still checked, and every read of its tables is bounds-checked.
inline constexpr size_t kFullCheckLimit = 32u << 20;

// Checks and decodes the bytes of a compiled file of the given role: magic, format version (a
// newer one is refused), role, identifier, exact length, checksum (see kFullCheckLimit), then
// every section. False with a reason in *err on the first fault.
bool decode_defs_file(std::string_view bytes, defs_role role, defs_file* out, std::string* err,
                      bool full = false);

class defs_set {
 public:
  ~defs_set();
  defs_set(const defs_set&) = delete;
  defs_set& operator=(const defs_set&) = delete;

  // Builds a set from the two decoded files, whose bytes must stay alive as long as the set (their
  // storage is kept); deserializes the pattern database (never compiles it). False with a reason
  // when the database is refused.
  static bool create(defs_file signatures, defs_file companion, std::unique_ptr<defs_set>* out,
                     std::string* err);

  uint64_t serial() const { return serial_; }  // unique in the process, never reused
  const std::string& signatures_id() const { return signatures_.id; }
  const std::string& companion_id() const { return companion_.id; }
  size_t name_count() const { return signatures_.name_count(); }
  std::string_view name(size_t i) const { return signatures_.name(i); }
  size_t entry_count() const { return signatures_.entry_count(); }
  bool entry(size_t i, defs_entry* out) const { return signatures_.entry(i, out); }
  const std::vector<defs_pattern>& patterns() const { return signatures_.patterns; }
  const defs_rules& rules() const { return signatures_.rules; }
  // For each string slot, the rule it belongs to.
  const std::vector<uint32_t>& slot_rules() const { return slot_rules_; }
  // The rules decided without a match of their own strings (evaluated for every object).
  const std::vector<uint32_t>& unconditional_rules() const { return unconditional_rules_; }
  const hs_database* database() const { return db_; }

  // The hash types (bit 1 << type) a file of this size has to be hashed with: some hash or
  // allow-list value of that type has this size, or any size.
  unsigned hash_types(uint64_t size) const;
  // Whether the set has PE section hashes.
  bool has_section_hashes() const { return section_types_ != 0; }
  bool wants_section(hash_type t, uint64_t size) const;
  // The entry index of the hash signature for this digest (of the given type) and size, or -1.
  int64_t find_hash(hash_type t, const uint8_t* digest, uint64_t size) const;
  int64_t find_section(hash_type t, const uint8_t* digest, uint64_t size) const;
  bool allowed(hash_type t, const uint8_t* digest, uint64_t size) const;

  // A new matcher scratch for this set's database (null when it has none); the caller frees it.
  hs_scratch* clone_scratch() const;

 private:
  defs_set() = default;

  uint64_t serial_ = 0;
  defs_file signatures_;
  defs_file companion_;
  std::vector<uint32_t> slot_rules_;
  std::vector<uint32_t> unconditional_rules_;
  struct typed_tables {
    hash_table hashes, allow, sections;
    size_list hash_sizes, allow_sizes, section_sizes;
  };
  std::array<typed_tables, kHashTypes> tables_;
  std::string v1_hash_sizes_, v1_allow_sizes_;  // version 1 files have none: made at load
  unsigned section_types_ = 0;
  database_memory db_memory_;  // holds db_ when it is large; else db_ is on the heap
  hs_database* db_ = nullptr;
  hs_scratch* prototype_ = nullptr;
  mutable std::mutex clone_mutex_;  // cloning reads the prototype; keep clones one at a time
};

}  // namespace qorvex

#endif  // QORVEX_SRC_DEFS_SET_H_
