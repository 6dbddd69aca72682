// The walk of a folder target, and the scan of one opened file with its extended attributes.
#ifndef QORVEX_SRC_FOLDER_WALK_H_
#define QORVEX_SRC_FOLDER_WALK_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "qorvex/src/archive_scan.h"
#include "qorvex/src/scan_context.h"

namespace qorvex {

class engine_object;

// Limits that keep a hostile tree from growing the walk without bound.
inline constexpr size_t kMaxDepth = 256;
inline constexpr size_t kMaxNamesHeld = 4'000'000;  // directory entries waiting on the stack
inline constexpr size_t kMaxFolders = 1'000'000;    // folders entered in one walk
inline constexpr size_t kMaxXattrs = 128;
inline constexpr size_t kMaxXattrValue = 64 << 10;

struct file_scan_result {
  raw_result content;
  std::vector<object_result> others;  // archive members, then extended attributes
};

struct file_scan_options {
  bool xattrs = false;
  archive_limits archives;  // depth 0: archives are not unpacked
};

// Scans an open regular file of the given size, then the members when it is an archive, then
// (when asked) each of its extended attributes as an alternate stream. `name` is the file's base
// name. Runs on any thread with that thread's context.
void scan_open_file(scan_context& context, int fd, uint64_t size, const std::string& name,
                    const file_scan_options& options, file_scan_result* out);

// The result of a failed open() as an engine result: -3 no permission, -8 not found, and so on.
int32_t open_error_result(int err);

}  // namespace qorvex

#endif  // QORVEX_SRC_FOLDER_WALK_H_
