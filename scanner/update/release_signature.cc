#include "scanner/update/release_signature.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fstream>
#include <memory>

#include "scanner/update/journal.h"

namespace ferrox {
namespace {

// Key files are small; a larger one is not a key.
constexpr std::size_t kMaxKeyFileSize = 64 * 1024;

struct pkey_free {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct md_ctx_free {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct bio_free {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using pkey_ptr = std::unique_ptr<EVP_PKEY, pkey_free>;
using md_ctx_ptr = std::unique_ptr<EVP_MD_CTX, md_ctx_free>;

std::string hex(const unsigned char* bytes, std::size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

pkey_ptr read_public_key(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(kMaxKeyFileSize + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  const auto size = static_cast<std::size_t>(in.gcount());
  if (size == 0 || size > kMaxKeyFileSize) return nullptr;
  std::unique_ptr<BIO, bio_free> bio(BIO_new_mem_buf(text.data(), static_cast<int>(size)));
  if (!bio) return nullptr;
  pkey_ptr key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) return nullptr;
  return key;
}

bool signed_by(EVP_PKEY* key, const std::string& statement, const std::string& signature) {
  md_ctx_ptr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key) != 1) return false;
  return EVP_DigestVerify(
             ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()), signature.size(),
             reinterpret_cast<const unsigned char*>(statement.data()), statement.size()) == 1;
}

}  // namespace

std::string release_statement(const std::string& identifier, const std::string& signatures_digest,
                              const std::string& companion_digest) {
  return "ferrox-release 1\ndefId=" + identifier + "\n" + kDefinitionNames[0] + " " +
         signatures_digest + "\n" + kDefinitionNames[1] + " " + companion_digest + "\n";
}

std::string file_digest(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  md_ctx_ptr ctx(EVP_MD_CTX_new());
  if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return "";
  std::string buffer(1 << 16, '\0');
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    if (EVP_DigestUpdate(ctx.get(), buffer.data(), static_cast<std::size_t>(in.gcount())) != 1)
      return "";
  }
  if (in.bad()) return "";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1) return "";
  return hex(digest, size);
}

signature_verdict check_release_signature(const std::string& folder, const std::string& identifier,
                                          const std::string& signature,
                                          const std::vector<std::string>& key_files) {
  if (key_files.empty()) return signature_verdict::no_trusted_keys;
  if (signature.size() != kSignatureSize) return signature_verdict::refused;
  const std::string signatures_digest = file_digest(folder + kDefinitionNames[0]);
  const std::string companion_digest = file_digest(folder + kDefinitionNames[1]);
  if (signatures_digest.empty() || companion_digest.empty()) return signature_verdict::refused;
  const std::string statement = release_statement(identifier, signatures_digest, companion_digest);
  for (const std::string& path : key_files) {
    const pkey_ptr key = read_public_key(path);
    if (key && signed_by(key.get(), statement, signature)) return signature_verdict::trusted;
  }
  return signature_verdict::refused;
}

}  // namespace ferrox
