// Unsigned integers stored little-endian, read from bytes at any alignment.
#ifndef COMMON_LITTLE_ENDIAN_H_
#define COMMON_LITTLE_ENDIAN_H_

#include <cstddef>
#include <cstdint>

namespace common {

// The sizeof(T) bytes at `p`, lowest first. Compilers turn the loop into one load.
template <typename T>
T load_le(const void* p) {
  const auto* b = static_cast<const unsigned char*>(p);
  T v = 0;
  for (size_t i = sizeof(T); i-- > 0;) v = T(v << 8 | b[i]);
  return v;
}

inline uint16_t le16(const void* p) { return load_le<uint16_t>(p); }
inline uint32_t le32(const void* p) { return load_le<uint32_t>(p); }
inline uint64_t le64(const void* p) { return load_le<uint64_t>(p); }

}  // namespace common

#endif  // COMMON_LITTLE_ENDIAN_H_
