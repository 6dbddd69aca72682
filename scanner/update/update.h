// The definitions update of --update.
#ifndef FERROX_SCANNER_UPDATE_UPDATE_H_
#define FERROX_SCANNER_UPDATE_UPDATE_H_

#include <cstdint>
#include <string>

#include "scanner/context/run_context.h"

namespace ferrox {

// Reads the settings file, asks the engine object `h` for its definitions identifier and the
// server for the newest one, and when the server's is greater downloads the package and installs
// both definition files in the definitions folder (--deflocation=, checked with --deftype=).
// Every outcome is one line "<program>: <text>" through the output object. Returns the exit code: 0
// (updated, or no update available), 231 (definitions not written), 232 (download failed), 233
// (engine gave no identifier), 234 (bad settings file) or 236 (no settings file). Main thread only.
//
// A release is installed only when it is signed by a trusted key (if any is configured), the
// engine loads the staged pair and both files carry the announced identifier; the pair then
// replaces the installed one through the journal of journal.h. `h` 0 means that the installed
// definitions did not load: the update then runs as if none were installed.
int32_t update_definitions(const run_context& ctx, engine_handle h);

// True when the server's 12-byte identifier `latest` is greater than the installed one: their
// first min(12, installed length) bytes compared as unsigned bytes, and on a tie the longer wins.
bool newer_identifier(const std::string& latest, const std::string& installed);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_UPDATE_H_
