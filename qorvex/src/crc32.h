// CRC-32 (IEEE 802.3, reflected, inverted) as zip entries and the partition table use it, by
// zlib, over any length.
#ifndef QORVEX_SRC_CRC32_H_
#define QORVEX_SRC_CRC32_H_

#include <zlib.h>

#include <cstdint>
#include <string_view>

namespace qorvex {

inline uint32_t crc32_of(std::string_view data) {
  return uint32_t(crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
}

}  // namespace qorvex

#endif  // QORVEX_SRC_CRC32_H_
