#include "qorvex/src/system/gpt.h"

#include <algorithm>
#include <array>
#include <string>

namespace qorvex {
namespace {

uint32_t le32(std::string_view s, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t(uint8_t(s[at + i])) << (8 * i);
  return v;
}

uint64_t le64(std::string_view s, size_t at) {
  return uint64_t(le32(s, at)) | (uint64_t(le32(s, at + 4)) << 32);
}

const std::array<uint32_t, 256>& crc_table() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  return table;
}

}  // namespace

uint32_t gpt_crc32(std::string_view data) {
  uint32_t c = 0xFFFFFFFFu;
  for (char ch : data) c = crc_table()[(c ^ uint8_t(ch)) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

bool has_gpt_signature(std::string_view sector) { return sector.substr(0, 8) == "EFI PART"; }

bool parse_gpt_header(std::string_view sector, gpt_header* out) {
  if (sector.size() < 92 || !has_gpt_signature(sector)) return false;
  uint32_t size = le32(sector, 12);
  if (size < 92 || size > sector.size()) return false;
  std::string copy(sector.substr(0, size));
  std::fill(copy.begin() + 16, copy.begin() + 20, '\0');
  if (gpt_crc32(copy) != le32(sector, 16)) return false;
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
