// Files the engine writes into the user's temporary folder, which may be shared (/tmp): opened
// so that a link or a file planted there by someone else is refused rather than written through.
#ifndef QORVEX_SRC_SYSTEM_PRIVATE_OUTPUT_H_
#define QORVEX_SRC_SYSTEM_PRIVATE_OUTPUT_H_

#include <string>
#include <string_view>

namespace qorvex {

// $TMPDIR when it is an absolute path to a folder, else /tmp.
std::string temp_folder();

// Opens `path` for writing, mode 0600, emptied. A symbolic link is never followed; an existing
// entry must be a regular file of ours with one link, or it is refused. Returns the descriptor,
// or -1 with *err the errno (EACCES for a refused entry).
int open_private_output(const std::string& path, int* err);

// The engine result of a failed output: a full disk or quota is "Failed", anything else
// (refused, no permission, no folder) an "Access error".
int output_error_result(int err);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_PRIVATE_OUTPUT_H_
