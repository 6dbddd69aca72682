// Release signatures of qvxdef publish: an Ed25519 signature over the release statement, which
// names the identifier and the SHA-256 of both files, one line each:
//   "ferrox-release 1\n"
//   "defId=<identifier>\n"
//   "sigbase-v2.def <64 lower-case hex digits>\n"
//   "qorvexcon-v2.def <64 lower-case hex digits>\n"
// The package carries the 64 signature bytes as the entry "release.sig"; the scanner's update
// builds the same statement from the files it unpacked and checks it against its trusted keys.
#ifndef QORVEX_TOOLS_QVXDEF_SIGN_H_
#define QORVEX_TOOLS_QVXDEF_SIGN_H_

#include <string>

namespace qvxdef {

inline constexpr char kSignatureEntry[] = "release.sig";

// The statement of the release `id` made of DEFS_DIR/sigbase-v2.def and
// DEFS_DIR/qorvexcon-v2.def. False with a reason when a file cannot be read.
bool release_statement(const std::string& defs_dir, const std::string& id, std::string* statement,
                       std::string* err);

// Signs `statement` with the Ed25519 private key in the PEM file `key_path` (as made by
// `openssl genpkey -algorithm ed25519`). False with a reason when the key cannot be used.
bool sign_statement(const std::string& key_path, const std::string& statement,
                    std::string* signature, std::string* err);

}  // namespace qvxdef

#endif  // QORVEX_TOOLS_QVXDEF_SIGN_H_
