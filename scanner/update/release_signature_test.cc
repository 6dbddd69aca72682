#include "scanner/update/release_signature.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>

#include "scanner/testing.h"

namespace ferrox {
namespace {

const char kId[] = "202612101530";

// An Ed25519 key pair whose public half is written to `public_path` as PEM.
class key_pair {
 public:
  explicit key_pair(const std::string& public_path)
      : key_(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519")) {
    FILE* f = std::fopen(public_path.c_str(), "wb");
    PEM_write_PUBKEY(f, key_);
    std::fclose(f);
  }
  ~key_pair() { EVP_PKEY_free(key_); }
  std::string sign(const std::string& statement) const {
    unsigned char sig[64];
    std::size_t size = sizeof sig;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    EVP_DigestSignInit(ctx, nullptr, nullptr, nullptr, key_);
    EVP_DigestSign(ctx, sig, &size, reinterpret_cast<const unsigned char*>(statement.data()),
                   statement.size());
    EVP_MD_CTX_free(ctx);
    return std::string(reinterpret_cast<const char*>(sig), size);
  }

 private:
  EVP_PKEY* key_;
};

TEST(release_signature, statement_and_digest) {
  scoped_temp_dir dir;
  EXPECT_EQ(file_digest(dir.write("abc", "abc")),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(file_digest(dir.path() + "/missing"), "");
  EXPECT_EQ(release_statement(kId, "aa", "bb"),
            "ferrox-release 1\ndefId=202612101530\nsigbase-v2.def aa\nqorvexcon-v2.def bb\n");
}

TEST(release_signature, verdicts) {
  scoped_temp_dir staged, keys;
  const std::string folder = staged.path() + "/";
  staged.write("sigbase-v2.def", "signatures");
  staged.write("qorvexcon-v2.def", "companion");
  const key_pair trusted(keys.path() + "/trusted.pub"), other(keys.path() + "/other.pub");
  const std::string statement = release_statement(kId, file_digest(folder + "sigbase-v2.def"),
                                                  file_digest(folder + "qorvexcon-v2.def"));
  const std::string good = trusted.sign(statement);
  const std::string junk_key = keys.write("junk.pub", "-----BEGIN PUBLIC KEY-----\nAA\n");
  const std::string trusted_key = keys.path() + "/trusted.pub";
  const std::string other_key = keys.path() + "/other.pub";
  struct row {
    const char* name;
    std::vector<std::string> keys;
    std::string id, signature;
    signature_verdict expect;
  } rows[] = {
      {"no keys, unsigned", {}, kId, "", signature_verdict::no_trusted_keys},
      {"no keys, junk signature", {}, kId, "junk", signature_verdict::no_trusted_keys},
      {"signed by the trusted key", {trusted_key}, kId, good, signature_verdict::trusted},
      {"one of several keys",
       {junk_key, other_key, trusted_key},
       kId,
       good,
       signature_verdict::trusted},
      {"unsigned", {trusted_key}, kId, "", signature_verdict::refused},
      {"signed by another key", {other_key}, kId, good, signature_verdict::refused},
      {"signed by an untrusted key",
       {trusted_key},
       kId,
       other.sign(statement),
       signature_verdict::refused},
      {"another identifier", {trusted_key}, "202612101531", good, signature_verdict::refused},
      {"signature cut short", {trusted_key}, kId, good.substr(0, 63), signature_verdict::refused},
      {"broken key file only", {junk_key}, kId, good, signature_verdict::refused},
      {"missing key file", {keys.path() + "/gone.pub"}, kId, good, signature_verdict::refused},
  };
  for (const row& r : rows)
    EXPECT_EQ(check_release_signature(folder, r.id, r.signature, r.keys), r.expect) << r.name;
  // One changed byte in either file breaks the signature.
  staged.write("qorvexcon-v2.def", "companiom");
  EXPECT_EQ(check_release_signature(folder, kId, good, {trusted_key}), signature_verdict::refused);
}

}  // namespace
}  // namespace ferrox
