// qvxdef publish: lays out a definitions release the way the update server serves it, so that any
// static web server can serve an update from the folder it writes.
//
//   qvxdef publish --out=DIR [--sign-key=KEY.pem] DEFS_DIR      (or --out DIR)
//
// reads DEFS_DIR/sigbase-v2.def and DEFS_DIR/qorvexcon-v2.def, which must carry the same
// 12-digit definitions identifier, and writes under DIR/zorav/deffiles/def5-2/:
//   sigbase-v2-z-<id>.zip   the package: both files as zip entries, and with --sign-key= the
//                           entry "release.sig", an Ed25519 signature (see qvxdef_sign.h)
//   sigbase-v2-z-<id>.ini   the package description
//   sigbase-v2-hit.ini      "defId=<id>", the newest release
// The hit file is written last, so a server never announces a package that is not there yet.
// Every file is written under a temporary name and renamed into place.
#ifndef QORVEX_TOOLS_QVXDEF_PUBLISH_H_
#define QORVEX_TOOLS_QVXDEF_PUBLISH_H_

#include <string>
#include <vector>

namespace qvxdef {

// The arguments after "publish". Returns 0 when the release was written, 1 on failure (a message
// on standard error), 2 on a usage error.
int run_publish(const std::vector<std::string>& a);

// Checks that `header` begins a definitions file and returns its identifier in `id`.
bool read_definitions_identifier(const std::string& header, std::string* id, std::string* err);

}  // namespace qvxdef

#endif  // QORVEX_TOOLS_QVXDEF_PUBLISH_H_
