// Puts the definition files of a downloaded package in place.
#ifndef FERROX_SCANNER_UPDATE_INSTALL_H_
#define FERROX_SCANNER_UPDATE_INSTALL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "scanner/platform/update_files.h"

namespace ferrox {

// Entries are copied through one buffer of this size.
inline constexpr std::size_t kCopyBufferSize = 102400;
// A larger entry is refused before it is read; the engine refuses larger definition files too.
inline constexpr uint64_t kMaxEntrySize = 512ull << 20;

// Installs "sigbase-v2.def" and "qorvexcon-v2.def" from the zip archive at `archive_path` into
// `definitions_directory` (which ends in "/"). Entries are found by name without regard to case
// (an entry under a folder does not match). Both files or neither: each entry is unpacked into a
// new file beside its final name, must match the size and checksum its header gives, and is
// flushed to disk; only when both are complete are they renamed over the old files. A damaged,
// truncated or incomplete package leaves the old files as they were and no temporary file behind.
// True when both files were put in place. When `signature` is given, the package's optional
// signature entry is read into it (empty when there is none; a damaged one fails the install).
bool install_definitions(const std::string& archive_path, const std::string& definitions_directory,
                         update_files& files, std::string* signature = nullptr);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_INSTALL_H_
