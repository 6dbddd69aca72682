// The GUID partition table header: its checks and the fields the boot scans need.
#ifndef QORVEX_SRC_SYSTEM_GPT_H_
#define QORVEX_SRC_SYSTEM_GPT_H_

#include <cstdint>
#include <string_view>

namespace qorvex {

// The entry array read from a disk is cut at this size (the usual one is 16 KiB).
inline constexpr uint64_t kMaxGptEntryBytes = 1 << 20;

struct gpt_header {
  uint64_t current_lba = 0;
  uint64_t backup_lba = 0;
  uint64_t entries_lba = 0;
  uint32_t entry_count = 0;
  uint32_t entry_size = 0;
  uint32_t entries_crc = 0;
};

// True when the sector starts with "EFI PART".
bool has_gpt_signature(std::string_view sector);

// Decodes a header sector: the signature, a header size from 92 bytes to the sector, its CRC
// (computed with the CRC field zeroed) and an entry size that is a multiple of 8 from 128 up.
bool parse_gpt_header(std::string_view sector, gpt_header* out);

// The bytes of the entry array to read, at most kMaxGptEntryBytes.
uint64_t gpt_entry_bytes(const gpt_header& header);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_GPT_H_
