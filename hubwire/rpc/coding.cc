#include "hubwire/rpc/coding.h"

#include "common/little_endian.h"

namespace rpc {

void put_u8(bytes* dst, uint8_t v) { dst->push_back(v); }

void put_u16(bytes* dst, uint16_t v) {
  dst->push_back(static_cast<uint8_t>(v));
  dst->push_back(static_cast<uint8_t>(v >> 8));
}

void put_u32(bytes* dst, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) dst->push_back(static_cast<uint8_t>(v >> shift));
}

void put_bytes(bytes* dst, const uint8_t* p, size_t n) { dst->insert(dst->end(), p, p + n); }

void set_u16(bytes* dst, size_t at, uint16_t v) {
  (*dst)[at] = static_cast<uint8_t>(v);
  (*dst)[at + 1] = static_cast<uint8_t>(v >> 8);
}

void set_u32(bytes* dst, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*dst)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t get_u16(const uint8_t* p) { return common::le16(p); }

uint32_t get_u32(const uint8_t* p) { return common::le32(p); }

bool byte_reader::read_u8(uint8_t* v) {
  if (remaining() < 1) return false;
  *v = p_[pos_++];
  return true;
}

bool byte_reader::read_u16(uint16_t* v) {
  if (remaining() < 2) return false;
  *v = get_u16(p_ + pos_);
  pos_ += 2;
  return true;
}

bool byte_reader::read_u32(uint32_t* v) {
  if (remaining() < 4) return false;
  *v = get_u32(p_ + pos_);
  pos_ += 4;
  return true;
}

bool byte_reader::read_span(size_t n, const uint8_t** p) {
  if (remaining() < n) return false;
  *p = p_ + pos_;
  pos_ += n;
  return true;
}

bool byte_reader::skip(size_t n) {
  if (remaining() < n) return false;
  pos_ += n;
  return true;
}

bool byte_reader::align(size_t n) {
  size_t pad = (n - (pos_ & (n - 1))) & (n - 1);
  return skip(pad);
}

}  // namespace rpc
