#include "qorvex/tools/qvxdef_sign.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "qorvex/src/sha256.h"

namespace qvxdef {
namespace {

const char* const kFiles[] = {"sigbase-v2.def", "qorvexcon-v2.def"};

bool file_digest(const std::string& path, std::string* hex, std::string* err) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return *err = path + ": cannot open", false;
  qorvex::sha256 hash;
  std::string buffer(1 << 16, '\0');
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
    hash.update(buffer.data(), static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return *err = path + ": read failed", false;
  hex->clear();
  char two[3];
  for (uint8_t b : hash.finish()) {
    std::snprintf(two, sizeof two, "%02x", b);
    *hex += two;
  }
  return true;
}

}  // namespace

bool release_statement(const std::string& defs_dir, const std::string& id, std::string* statement,
                       std::string* err) {
  *statement = "ferrox-release 1\ndefId=" + id + "\n";
  for (const char* name : kFiles) {
    std::string hex;
    if (!file_digest(defs_dir + "/" + name, &hex, err)) return false;
    *statement += std::string(name) + " " + hex + "\n";
  }
  return true;
}

bool sign_statement(const std::string& key_path, const std::string& statement,
                    std::string* signature, std::string* err) {
  FILE* f = std::fopen(key_path.c_str(), "rb");
  if (f == nullptr) return *err = key_path + ": cannot open", false;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_PrivateKey(f, nullptr, nullptr, nullptr), &EVP_PKEY_free);
  std::fclose(f);
  if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519)
    return *err = key_path + ": not an Ed25519 private key in PEM form", false;
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  unsigned char sig[64];
  std::size_t size = sizeof sig;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), sig, &size,
                     reinterpret_cast<const unsigned char*>(statement.data()),
                     statement.size()) != 1)
    return *err = key_path + ": signing failed", false;
  signature->assign(reinterpret_cast<const char*>(sig), size);
  return true;
}

}  // namespace qvxdef
