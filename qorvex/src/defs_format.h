// The layout of a compiled definitions file, shared by the compiler (qvxdef) and the loader.
//
// A file is a 72-byte header followed by a payload of sections; all integers are little-endian.
//
//   0  magic "QVXDEFS" then 0x1a (8 bytes)
//   8  u32 format version (files newer than kFormatVersion are refused, never guessed at)
//  12  u32 role: 1 signatures, 2 companion data
//  16  12 ASCII digits: the definitions identifier, year to minute (202612101530)
//  28  u32 number of sections
//  32  u64 payload size in bytes (the file is exactly header + payload)
//  40  32 bytes: SHA-256 of the payload
//
// A section is u32 tag, u32 record count, u64 byte length, then the bytes padded with zeros to a
// multiple of 8. Unknown tags are skipped, so a later minor addition does not need a new version.
#ifndef QORVEX_SRC_DEFS_FORMAT_H_
#define QORVEX_SRC_DEFS_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qorvex {

inline constexpr std::string_view kDefsMagic{"QVXDEFS\x1a", 8};
// Version 2 adds the in-place tables (tags 32 to 46) and MD5 and SHA-1 hashes; version 1 files
// still load.
inline constexpr uint32_t kFormatVersion = 2;
inline constexpr size_t kHeaderSize = 72;
inline constexpr size_t kIdLength = 12;
// Larger files are refused before they are read: five million hashes with their names take about
// 600 MiB.
inline constexpr uint64_t kMaxDefsFileSize = 4ull << 30;

enum class defs_role : uint32_t { signatures = 1, companion = 2 };

enum section_tag : uint32_t {
  kSectionNames = 1,     // count names: u16 length + bytes each, sorted, unique
  kSectionEntries = 2,   // count records of kEntrySize bytes
  kSectionPatterns = 3,  // count records of kPatternSize bytes; the record index is the pattern id
  kSectionHashes = 4,    // count records of kHashSize bytes, sorted by digest then size
  kSectionDatabase = 5,  // the serialized streaming pattern database; count 0
  kSectionAllow = 6,     // count records of kAllowSize bytes, sorted by digest then size
  // Rules with conditions (defs_rules.h). Record i of kSectionRulePatterns is the pattern id
  // (number of kSectionPatterns records + i) of the database.
  kSectionRulePatterns = 16,  // count records of kRulePatternSize bytes
  kSectionRules = 17,         // count rules, each of variable size
  kSectionRuleVerify = 18,    // count hex strings checked at their literal's matches
  // Version 2: tables used in place from the mapped file, never decoded as a whole at load. They
  // are read under bounds checks, so a damaged record can give a wrong answer but no fault.
  kSectionNameOffsets = 32,   // count names: count + 1 u32 offsets into the name text, ascending
  kSectionNameText = 33,      // the names one after another, sorted and unique; count 0
  kSectionEntryTable = 34,    // count records of kEntrySize bytes, checked when used
  kSectionHashTable = 35,     // + hash type: records of digest, u64 size, u32 entry index
  kSectionAllowTable = 38,    // + hash type: records of digest, u64 size
  kSectionHashSizes = 41,     // + hash type: the sorted, unique u64 sizes of kSectionHashTable
  kSectionAllowSizes = 44,    // + hash type: the sorted, unique u64 sizes of kSectionAllowTable
  kSectionSectionTable = 47,  // + hash type: PE section hashes, records as kSectionHashTable
  kSectionSectionSizes = 50,  // + hash type: their sorted, unique section sizes
  // + hash type: kHashIndexSize + 1 u32 record indexes into kSectionHashTable: where the records
  // whose digest starts with each 16-bit prefix begin, then the record count. A lookup reads one
  // page of it and the few records of its prefix instead of some twenty pages of the table.
  kSectionHashIndex = 53,
};
inline constexpr size_t kHashIndexSize = 1 << 16;

// The digests a hash entry may hold, told apart by their length. Hash tables sort records by
// digest, then size; kAnySize (all bits set) is a size that matches every file.
enum class hash_type : uint8_t { md5 = 0, sha1 = 1, sha256 = 2 };
inline constexpr int kHashTypes = 3;
inline constexpr uint64_t kAnySize = ~uint64_t(0);
inline constexpr size_t digest_length(hash_type t) {
  return t == hash_type::md5 ? 16 : t == hash_type::sha1 ? 20 : 32;
}

// Rule pattern: u32 string slot, u32 match length (0: varies), u32 flags (1: keep positions).
inline constexpr size_t kRulePatternSize = 12;

// Entry: u32 name index, u8 kind, u8 accuracy, u8 lowest heuristics level, u8 repair, u32
// qualifiers.
inline constexpr size_t kEntrySize = 12;
// Pattern: u32 entry index, u8 anchor, 3 zero bytes, u32 length in bytes, u32 anchor offset.
inline constexpr size_t kPatternSize = 16;
// Hash: 32-byte SHA-256, u64 file size, u32 entry index.
inline constexpr size_t kHashSize = 44;
// Allow-list value: 32-byte SHA-256, u64 file size.
inline constexpr size_t kAllowSize = 40;

enum class anchor_type : uint8_t { none = 0, start = 1, end = 2 };

// How a file with a pattern's match can be repaired: not at all, by cutting the file where the
// match starts, or by overwriting the matched bytes with zeros.
enum class repair_type : uint8_t { none = 0, cut = 1, blank = 2 };

inline constexpr int kMaxKind = 30;
inline constexpr int kMaxAccuracy = 4;
inline constexpr int kMaxHeuristicLevel = 4;
inline constexpr size_t kMaxNameLength = 200;
inline constexpr size_t kMaxPatternLength = 4096;

}  // namespace qorvex

#endif  // QORVEX_SRC_DEFS_FORMAT_H_
