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

#include "qorvex/src/defs_format.h"
#include "qorvex/src/defs_rules.h"

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

struct defs_hash {
  digest sha{};
  uint64_t size = 0;
  uint32_t entry = 0;
};

// The decoded content of one file, before the pattern database is made usable.
struct defs_file {
  std::string id;
  std::vector<std::string> names;
  std::vector<defs_entry> entries;
  std::vector<defs_pattern> patterns;
  std::vector<defs_hash> hashes;
  std::vector<defs_hash> allow;  // entry unused
  defs_rules rules;
  // The serialized pattern database, empty when there are no patterns. It points into the bytes
  // given to decode_defs_file, so it is valid only while they are.
  std::string_view database;
};

// Checks and decodes the bytes of a compiled file of the given role: magic, format version (a
// newer one is refused), role, identifier, exact length, checksum, then every section and every
// index in it. False with a reason in *err on the first fault.
bool decode_defs_file(std::string_view bytes, defs_role role, defs_file* out, std::string* err);

class defs_set {
 public:
  ~defs_set();
  defs_set(const defs_set&) = delete;
  defs_set& operator=(const defs_set&) = delete;

  // Builds a set from the two decoded files, whose bytes must still be alive; deserializes the
  // pattern database (never compiles it). False with a reason when the database is refused.
  static bool create(defs_file signatures, defs_file companion, std::unique_ptr<defs_set>* out,
                     std::string* err);

  uint64_t serial() const { return serial_; }  // unique in the process, never reused
  const std::string& signatures_id() const { return signatures_.id; }
  const std::string& companion_id() const { return companion_.id; }
  const std::vector<std::string>& names() const { return signatures_.names; }
  const std::vector<defs_entry>& entries() const { return signatures_.entries; }
  const std::vector<defs_pattern>& patterns() const { return signatures_.patterns; }
  const defs_rules& rules() const { return signatures_.rules; }
  // For each string slot, the rule it belongs to.
  const std::vector<uint32_t>& slot_rules() const { return slot_rules_; }
  // The rules decided without a match of their own strings (evaluated for every object).
  const std::vector<uint32_t>& unconditional_rules() const { return unconditional_rules_; }
  const hs_database* database() const { return db_; }

  // Whether a file of this size has to be hashed: some hash or allow-list value has this size.
  bool wants_hash(uint64_t size) const;
  // The entry index of the hash signature for this digest and size, or -1.
  int64_t find_hash(const digest& sha, uint64_t size) const;
  bool allowed(const digest& sha, uint64_t size) const;

  // A new matcher scratch for this set's database (null when it has none); the caller frees it.
  hs_scratch* clone_scratch() const;

 private:
  defs_set() = default;

  uint64_t serial_ = 0;
  defs_file signatures_;
  defs_file companion_;
  std::vector<uint64_t> hash_sizes_;  // sorted, unique
  std::vector<uint32_t> slot_rules_;
  std::vector<uint32_t> unconditional_rules_;
  hs_database* db_ = nullptr;
  hs_scratch* prototype_ = nullptr;
  mutable std::mutex clone_mutex_;  // cloning reads the prototype; keep clones one at a time
};

}  // namespace qorvex

#endif  // QORVEX_SRC_DEFS_SET_H_
