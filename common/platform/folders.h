// Making a folder and the folders above it.
#ifndef COMMON_PLATFORM_FOLDERS_H_
#define COMMON_PLATFORM_FOLDERS_H_

#include <sys/types.h>

#include <string>

namespace common {

// Makes each missing folder along `path` with `mode` (less the umask); folders that exist keep
// their modes, and one that another process makes at the same time is as good as our own. True
// when `path` is a folder at the end. Otherwise errno says why, and `*failed` (when given) names
// the folder that could not be made, or is empty when `path` exists as something other than a
// folder (errno ENOTDIR).
bool make_folders(const std::string& path, mode_t mode, std::string* failed = nullptr);

}  // namespace common

#endif  // COMMON_PLATFORM_FOLDERS_H_
