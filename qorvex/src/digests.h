// MD5, SHA-1 and SHA-256 of one stream at once, each only when asked for, so a file is hashed
// with every kind its size calls for in its single read pass.
#ifndef QORVEX_SRC_DIGESTS_H_
#define QORVEX_SRC_DIGESTS_H_

#include <array>
#include <cstddef>
#include <cstdint>

#include "qorvex/src/defs_format.h"

struct evp_md_ctx_st;

namespace qorvex {

class digests {
 public:
  digests();
  ~digests();
  digests(const digests&) = delete;
  digests& operator=(const digests&) = delete;

  // Starts over with the types of the mask (bit 1 << hash_type).
  void begin(unsigned types);
  unsigned types() const { return types_; }
  void update(const void* data, size_t size);
  // Ends every started digest; value() then holds them.
  void finish();
  const uint8_t* value(hash_type t) const { return values_[int(t)].data(); }

 private:
  std::array<evp_md_ctx_st*, kHashTypes> ctx_{};
  std::array<std::array<uint8_t, 32>, kHashTypes> values_{};
  unsigned types_ = 0;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_DIGESTS_H_
