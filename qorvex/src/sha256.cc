#include "qorvex/src/sha256.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace qorvex {

sha256::sha256() : ctx_(EVP_MD_CTX_new()) {
  // Without a context nothing can be hashed or checked; there is no sound way on.
  if (ctx_ == nullptr) std::abort();
  reset();
}

sha256::~sha256() { EVP_MD_CTX_free(ctx_); }

void sha256::reset() { EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr); }

void sha256::update(const void* data, size_t size) { EVP_DigestUpdate(ctx_, data, size); }

std::array<uint8_t, 32> sha256::finish() {
  std::array<uint8_t, 32> out{};
  unsigned int n = 0;
  EVP_DigestFinal_ex(ctx_, out.data(), &n);
  reset();
  return out;
}

std::array<uint8_t, 32> sha256::of(std::string_view data) {
  sha256 h;
  h.update(data.data(), data.size());
  return h.finish();
}

}  // namespace qorvex
