// Signed releases: an Ed25519 signature over the release statement, carried in the package as
// the extra entry "release.sig" (64 raw bytes), which a client without trusted keys ignores.
//
// The statement names the identifier and the SHA-256 of both files, one line each:
//   "ferrox-release 1\n"
//   "defId=<12-byte identifier>\n"
//   "sigbase-v2.def <64 lower-case hex digits>\n"
//   "qorvexcon-v2.def <64 lower-case hex digits>\n"
// `qvxdef publish --sign-key=` writes the same statement.
#ifndef FERROX_SCANNER_UPDATE_RELEASE_SIGNATURE_H_
#define FERROX_SCANNER_UPDATE_RELEASE_SIGNATURE_H_

#include <cstddef>
#include <string>
#include <vector>

namespace ferrox {

inline constexpr char kSignatureEntry[] = "release.sig";
inline constexpr std::size_t kSignatureSize = 64;
// More key files than this are not read; the ones read still decide.
inline constexpr std::size_t kMaxTrustedKeys = 64;

// The statement of a release whose files have the given SHA-256 digests (hex).
std::string release_statement(const std::string& identifier, const std::string& signatures_digest,
                              const std::string& companion_digest);

// The SHA-256 of a file as lower-case hex; "" when it cannot be read.
std::string file_digest(const std::string& path);

enum class signature_verdict {
  no_trusted_keys,  // nothing to check against: the release is taken as it is
  trusted,          // signed by one of the trusted keys
  refused,          // trusted keys exist and none of them signed this release
};

// Judges `signature` (the content of "release.sig", empty when the package has none) over the
// statement of the pair in `folder` and `identifier`, against the PEM public key files
// `key_files`. A key file that cannot be read or is no Ed25519 key still counts as a trusted key
// that exists, so a broken key never turns the check off.
signature_verdict check_release_signature(const std::string& folder, const std::string& identifier,
                                          const std::string& signature,
                                          const std::vector<std::string>& key_files);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_RELEASE_SIGNATURE_H_
