#include "qorvex/src/system/gpt.h"

#include <algorithm>
#include <string>

#include "common/little_endian.h"
#include "qorvex/src/crc32.h"

namespace qorvex {
namespace {

uint32_t le32(std::string_view s, size_t at) { return common::le32(s.data() + at); }
uint64_t le64(std::string_view s, size_t at) { return common::le64(s.data() + at); }

}  // namespace

bool has_gpt_signature(std::string_view sector) { return sector.substr(0, 8) == "EFI PART"; }

bool parse_gpt_header(std::string_view sector, gpt_header* out) {
  if (sector.size() < 92 || !has_gpt_signature(sector)) return false;
  uint32_t size = le32(sector, 12);
  if (size < 92 || size > sector.size()) return false;
  std::string copy(sector.substr(0, size));
  std::fill(copy.begin() + 16, copy.begin() + 20, '\0');
  if (crc32_of(copy) != le32(sector, 16)) return false;
  gpt_header h;
  h.current_lba = le64(sector, 24);
  h.backup_lba = le64(sector, 32);
  h.entries_lba = le64(sector, 72);
  h.entry_count = le32(sector, 80);
  h.entry_size = le32(sector, 84);
  h.entries_crc = le32(sector, 88);
  if (h.entry_size < 128 || h.entry_size % 8 != 0) return false;
  *out = h;
  return true;
}

uint64_t gpt_entry_bytes(const gpt_header& header) {
  return std::min<uint64_t>(uint64_t(header.entry_count) * header.entry_size, kMaxGptEntryBytes);
}

}  // namespace qorvex
