// The crash-safe replacement of the definition pair. The update prepares everything in a private
// staging folder inside the definitions folder (same file system, so renames are atomic):
//
//   <definitions>/.fxupdate/            made with mode 0700 while the folder lock is held
//     fxupd.XXXXXX                      the downloads
//     sigbase-v2.def, qorvexcon-v2.def  the new pair, unpacked, flushed and verified
//     commit                            made last: from here on the pair goes in
//
// Only after `commit` is on the disk are the staged files renamed over the installed ones. So a
// staging folder without `commit` means nothing was replaced yet and is simply removed, and one
// with `commit` holds a verified pair whose remaining files are renamed into place. Either way
// the next run that locates definitions leaves one consistent release and no staging folder.
#ifndef FERROX_SCANNER_UPDATE_JOURNAL_H_
#define FERROX_SCANNER_UPDATE_JOURNAL_H_

#include <string>

#include "scanner/platform/update_files.h"

namespace ferrox {

// The two files of a release, in the order they are unpacked and put in place.
extern const char* const kDefinitionNames[2];

// "<definitions>/.fxupdate/"; `definitions` may end in "/" or not.
std::string staging_folder(const std::string& definitions);

// Completes or discards what an interrupted update left in `definitions`, and removes the
// temporary files that an older install could leave beside the definition files. The caller
// holds the folder lock. True when no staging folder is left.
bool recover_definitions(const std::string& definitions, update_files& files);

// Recovery for a run that only reads the definitions: takes the folder lock without waiting and
// skips recovery when another run holds it (that run is alive and finishes its own update).
void recover_definitions_if_idle(const std::string& definitions);

// Records the staged pair as complete and renames it over the installed files; then removes the
// staging folder. The staged files must already be flushed to disk. False when a step failed:
// when `commit` was written, the next recovery completes the replacement.
bool commit_staged_pair(const std::string& definitions, update_files& files);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_JOURNAL_H_
