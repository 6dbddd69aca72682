#include "qorvex/src/digests.h"

#include <openssl/evp.h>

#include <cstdlib>

namespace qorvex {
namespace {
const EVP_MD* algorithm(int t) {
  return t == int(hash_type::md5)    ? EVP_md5()
         : t == int(hash_type::sha1) ? EVP_sha1()
                                     : EVP_sha256();
}
}  // namespace

digests::digests() {
  for (auto& c : ctx_) {
    c = EVP_MD_CTX_new();
    // Without a context nothing can be hashed; there is no sound way on.
    if (c == nullptr) std::abort();
  }
}

digests::~digests() {
  for (auto* c : ctx_) EVP_MD_CTX_free(c);
}

void digests::begin(unsigned types) {
  types_ = types;
  for (int t = 0; t < kHashTypes; ++t) {
    if (types_ & (1u << t)) EVP_DigestInit_ex(ctx_[t], algorithm(t), nullptr);
  }
}

void digests::update(const void* data, size_t size) {
  for (int t = 0; t < kHashTypes; ++t) {
    if (types_ & (1u << t)) EVP_DigestUpdate(ctx_[t], data, size);
  }
}

void digests::finish() {
  for (int t = 0; t < kHashTypes; ++t) {
    unsigned int n = 0;
    if (types_ & (1u << t)) EVP_DigestFinal_ex(ctx_[t], values_[t].data(), &n);
  }
}

}  // namespace qorvex
