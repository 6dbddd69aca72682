// SHA-256 through the system's crypto library, incremental so a file is hashed as it is read.
#ifndef QORVEX_SRC_SHA256_H_
#define QORVEX_SRC_SHA256_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

struct evp_md_ctx_st;

namespace qorvex {

class sha256 {
 public:
  sha256();
  ~sha256();
  sha256(const sha256&) = delete;
  sha256& operator=(const sha256&) = delete;

  void reset();
  void update(const void* data, size_t size);
  std::array<uint8_t, 32> finish();

  static std::array<uint8_t, 32> of(std::string_view data);

 private:
  evp_md_ctx_st* ctx_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_SHA256_H_
