// Sorted tables of fixed-size records read where they lie (in a mapped definitions file): hash
// records found by binary search and the sorted list of their sizes. Nothing is decoded or copied
// at load; a table whose records are out of order only finds less, never reads outside itself.
#ifndef QORVEX_SRC_HASH_TABLE_H_
#define QORVEX_SRC_HASH_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/little_endian.h"
#include "qorvex/src/defs_format.h"

namespace qorvex {

// Sorted, unique little-endian u64 values.
class size_list {
 public:
  size_list() = default;
  explicit size_list(std::string_view bytes) : data_(bytes.data()), count_(bytes.size() / 8) {}
  size_t size() const { return count_; }
  uint64_t at(size_t i) const { return common::le64(data_ + 8 * i); }
  bool contains(uint64_t v) const;

 private:
  const char* data_ = nullptr;
  size_t count_ = 0;
};

// Records of a digest, a u64 size and (with_entry) a u32 entry index.
class hash_table {
 public:
  hash_table() = default;
  hash_table(std::string_view bytes, size_t digest_len, bool with_entry)
      : data_(bytes.data()),
        digest_len_(digest_len),
        record_(digest_len + 8 + (with_entry ? 4 : 0)),
        count_(bytes.size() / record_) {}

  // Narrows lookups with a prefix index (kSectionHashIndex); ignored unless of the right size.
  void set_index(std::string_view index) {
    if (index.size() == (kHashIndexSize + 1) * 4) index_ = index.data();
  }

  static size_t record_size(hash_type t, bool with_entry) {
    return digest_length(t) + 8 + (with_entry ? 4 : 0);
  }
  size_t size() const { return count_; }
  // The record index for this digest and size, or for this digest and any size; -1 for none.
  int64_t find(const uint8_t* digest, uint64_t size) const;
  uint32_t entry(size_t record) const {
    return common::le32(data_ + record * record_ + digest_len_ + 8);
  }

 private:
  // The first record not below (digest, size).
  size_t lower_bound(const uint8_t* digest, uint64_t size) const;
  // The records that may hold this digest: all of them, or its prefix's slice of the index.
  void range(const uint8_t* digest, size_t* lo, size_t* hi) const;
  bool equal(size_t i, const uint8_t* digest, uint64_t size) const;

  const char* data_ = nullptr;
  const char* index_ = nullptr;
  size_t digest_len_ = 32;
  size_t record_ = 1;
  size_t count_ = 0;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_HASH_TABLE_H_
