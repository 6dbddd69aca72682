// Fixed-width little-endian values appended to a byte buffer, and a bounded
// view that reads them back. Every read checks the remaining length first and
// returns false instead of reading past the end; a failed read leaves the view
// where it was.
#ifndef HUBWIRE_RPC_CODING_H_
#define HUBWIRE_RPC_CODING_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rpc {

using bytes = std::vector<uint8_t>;

void put_u8(bytes* dst, uint8_t v);
void put_u16(bytes* dst, uint16_t v);
void put_u32(bytes* dst, uint32_t v);
void put_bytes(bytes* dst, const uint8_t* p, size_t n);
// Overwrites a value already in the buffer (frag_length, alloc_hint).
void set_u16(bytes* dst, size_t at, uint16_t v);
void set_u32(bytes* dst, size_t at, uint32_t v);

uint16_t get_u16(const uint8_t* p);
uint32_t get_u32(const uint8_t* p);

class byte_reader {
 public:
  byte_reader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  explicit byte_reader(const bytes& b) : p_(b.data()), n_(b.size()) {}

  bool read_u8(uint8_t* v);
  bool read_u16(uint16_t* v);
  bool read_u32(uint32_t* v);
  // Points *p at the next n bytes without copying them.
  bool read_span(size_t n, const uint8_t** p);
  bool skip(size_t n);
  // Skips to the next multiple of n (a power of two) counted from the start.
  bool align(size_t n);

  size_t position() const { return pos_; }
  size_t remaining() const { return n_ - pos_; }

 private:
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
};

}  // namespace rpc

#endif  // HUBWIRE_RPC_CODING_H_
