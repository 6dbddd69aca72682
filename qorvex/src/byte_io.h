// Little-endian encoding into a growing buffer and bounded decoding from a byte view.
#ifndef QORVEX_SRC_BYTE_IO_H_
#define QORVEX_SRC_BYTE_IO_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/little_endian.h"

namespace qorvex {

inline void put_u8(std::string* out, uint8_t v) { out->push_back(static_cast<char>(v)); }

inline void put_u16(std::string* out, uint16_t v) {
  for (int i = 0; i < 2; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

inline void put_u32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

inline void put_u64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// Lower-case hex digits of n bytes.
inline std::string to_hex(const void* data, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = static_cast<const uint8_t*>(data)[i];
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// Reads fixed-width values from a view; every read fails (returns false) rather than pass the
// end, and a failed reader stays failed.
class byte_reader {
 public:
  explicit byte_reader(std::string_view data) : data_(data) {}

  bool u8(uint8_t* v) { return fixed(v); }
  bool u16(uint16_t* v) { return fixed(v); }
  bool u32(uint32_t* v) { return fixed(v); }
  bool u64(uint64_t* v) { return fixed(v); }

  bool bytes(size_t n, std::string_view* out) {
    if (!ok_ || n > data_.size() - pos_) return ok_ = false;
    *out = data_.substr(pos_, n);
    pos_ += n;
    return true;
  }

  bool skip(size_t n) {
    std::string_view unused;
    return bytes(n, &unused);
  }

  size_t remaining() const { return data_.size() - pos_; }
  size_t position() const { return pos_; }

 private:
  template <typename T>
  bool fixed(T* v) {
    std::string_view raw;
    if (!bytes(sizeof(T), &raw)) return false;
    *v = common::load_le<T>(raw.data());
    return true;
  }

  std::string_view data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_BYTE_IO_H_
