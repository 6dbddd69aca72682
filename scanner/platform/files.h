// Files: existence, copying and moving, with the meaning the scanner gives them.
#ifndef FERROX_SCANNER_PLATFORM_FILES_H_
#define FERROX_SCANNER_PLATFORM_FILES_H_

#include <string>

namespace ferrox {

class file_system {
 public:
  virtual ~file_system() = default;

  // An entry exists when lstat finds it: a dangling link exists (as a non-folder). Any error
  // means it does not exist.
  virtual bool exists(const std::string& path) = 0;
  // A folder, or a link whose target is a folder.
  virtual bool is_directory(const std::string& path) = 0;
  // Copies a regular file (or the regular file a link names) onto `to`, replacing it: written to a
  // temporary file in the destination folder (permission bits without set-id bits, modification
  // time kept, flushed) and renamed over `to`, so a failure never leaves a half-written
  // destination.
  virtual bool copy_replace(const std::string& from, const std::string& to) = 0;
  // Moves `from` to `to`, never replacing an existing `to`; across file systems copies then
  // removes the source.
  virtual bool move_noreplace(const std::string& from, const std::string& to) = 0;
};

// The real file system; lives for the whole process, safe from any thread.
file_system& default_file_system();

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no file opened later
// takes the place of standard output or standard error. Call first thing, before opening anything.
void open_standard_descriptors();

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_FILES_H_
