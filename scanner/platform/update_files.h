// The files that the definitions update writes: downloads and unpacked files in its staging
// folder, and definition files put in place in one step.
#ifndef FERROX_SCANNER_PLATFORM_UPDATE_FILES_H_
#define FERROX_SCANNER_PLATFORM_UPDATE_FILES_H_

#include <cstddef>
#include <memory>
#include <string>

namespace ferrox {

// A file opened for writing by create_unique. Destruction closes it if still open (never removes
// it). Used from one thread at a time.
class output_file {
 public:
  virtual ~output_file() = default;

  virtual const std::string& path() const = 0;
  // Writes all `size` bytes. After a failed write every later write and finish fails too.
  virtual bool write(const void* data, std::size_t size) = 0;
  // Flushes the data to the disk (when `durable`) and closes the file. False when a write, the
  // flush or the close failed: the content on disk cannot be trusted then.
  virtual bool finish(bool durable) = 0;
};

// The files of the update: downloads and unpacked files in the staging folder, definition files put
// in place.
class update_files {
 public:
  virtual ~update_files() = default;

  // Creates a new empty file named `prefix` followed by six unique characters (mkstemp: no other
  // process can have chosen the same name), readable and writable by the owner only. `prefix` may
  // name a folder ("dir/.name.") or only a name, which puts the file in the working folder. Null
  // on failure.
  virtual std::unique_ptr<output_file> create_unique(const std::string& prefix) = 0;
  // Renames `from` over `to` in one step. `from` first takes the permission bits of the file it
  // replaces, or rw-r--r-- when `to` does not exist yet; the folder is flushed to disk afterwards.
  virtual bool replace(const std::string& from, const std::string& to) = 0;
  // Removes a file; false when it could not be removed (a missing file counts as removed).
  virtual bool remove(const std::string& path) = 0;
};

// The real file system; lives for the whole process.
update_files& default_update_files();

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_UPDATE_FILES_H_
