// Builds GUID partition table headers for the tests.
#ifndef QORVEX_SRC_SYSTEM_GPT_TESTING_H_
#define QORVEX_SRC_SYSTEM_GPT_TESTING_H_

#include <cstdint>
#include <string>

#include "qorvex/src/crc32.h"
#include "qorvex/src/system/gpt.h"

namespace qorvex {

// A header sector of `sector_size` bytes with a correct CRC.
inline std::string make_gpt_header(size_t sector_size, uint64_t current, uint64_t entries_lba,
                                   uint32_t count, uint32_t entry_size, uint32_t entries_crc) {
  std::string s(sector_size, '\0');
  auto put = [&](size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) s[at + size_t(i)] = char(uint8_t(v >> (8 * i)));
  };
  s.replace(0, 8, "EFI PART");
  put(8, 0x00010000, 4);
  put(12, 92, 4);
  put(24, current, 8);
  put(72, entries_lba, 8);
  put(80, count, 4);
  put(84, entry_size, 4);
  put(88, entries_crc, 4);
  put(16, crc32_of(std::string_view(s).substr(0, 92)), 4);
  return s;
}

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_GPT_TESTING_H_
