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
inline constexpr uint32_t kFormatVersion = 1;
inline constexpr size_t kHeaderSize = 72;
inline constexpr size_t kIdLength = 12;
// Larger files are refused before they are read: a definitions set of this engine stays far below.
inline constexpr uint64_t kMaxDefsFileSize = 512ull << 20;

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
};

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
