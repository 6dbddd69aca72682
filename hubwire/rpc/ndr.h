// NDR 2.0 (little-endian) for the few types of the dispatcher interface: long,
// conformant varying UTF-16 strings, referent ids of unique and full pointers,
// and 20-byte context handles. Alignment counts from the start of the stub.
#ifndef HUBWIRE_RPC_NDR_H_
#define HUBWIRE_RPC_NDR_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "hubwire/rpc/coding.h"

namespace rpc {

// Opaque to the client; all zero means "no handle".
using context_handle = std::array<uint8_t, 20>;
bool is_null(const context_handle& h);

// Largest string the decoder accepts, in UTF-16 units (twice this is the stub
// cap), so no allocation is ever sized from a larger peer number.
constexpr uint32_t max_string_units = 0x00200000;

class ndr_writer {
 public:
  void put_long(int32_t v);
  // A string referent: max_count, offset, actual_count, units, NUL.
  void put_string(const std::u16string& s);
  // The referent id of a pointer (numbered 0x00020000, +4, ...) or 0 for null.
  void put_pointer(bool present);
  // A top-level optional string: its referent id, then at once its referent.
  void put_optional_string(const std::optional<std::u16string>& s);
  void put_context(const context_handle& h);
  const bytes& data() const { return buf_; }
  bytes take() { return std::move(buf_); }

 private:
  void align(size_t n);
  bytes buf_;
  uint32_t next_referent_ = 0x00020000;
};

// Reads a stub. Every getter returns false, without reading past the end, on
// a truncated stub or a string that breaks a rule (offset not 0, actual_count
// 0 or above max_count, max_count above the cap, data not ending in exactly
// one NUL, unpaired surrogates).
class ndr_reader {
 public:
  ndr_reader(const uint8_t* p, size_t n) : r_(p, n) {}
  explicit ndr_reader(const bytes& b) : r_(b) {}

  bool get_long(int32_t* v);
  bool get_string(std::u16string* s);
  bool get_pointer(bool* present);
  bool get_optional_string(std::optional<std::u16string>* s);
  bool get_context(context_handle* h);
  // True when every byte has been consumed; left-over bytes are an error.
  bool at_end() const { return r_.remaining() == 0; }

 private:
  byte_reader r_;
};

// True when s holds no unpaired surrogate.
bool is_valid_utf16(const std::u16string& s);

}  // namespace rpc

#endif  // HUBWIRE_RPC_NDR_H_
