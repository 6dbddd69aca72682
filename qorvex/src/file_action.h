// Acting on a detected file: delete, quarantine or repair it. Every action works on the folder
// and the entry name the walk opened the file from, checks first that the entry still is that
// very file (not a link, not a replacement), and never follows a link.
#ifndef QORVEX_SRC_FILE_ACTION_H_
#define QORVEX_SRC_FILE_ACTION_H_

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "qorvex/src/defs_format.h"

namespace qorvex {

// An open folder, shared by the files opened from it until their actions are done.
class dir_handle {
 public:
  explicit dir_handle(int fd) : fd_(fd) {}
  ~dir_handle();
  dir_handle(const dir_handle&) = delete;
  dir_handle& operator=(const dir_handle&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// A file as it was opened for scanning; owns the descriptor.
struct file_handle {
  std::shared_ptr<const dir_handle> dir;  // null when the folder could not be opened
  std::string name;                       // the entry's name in that folder
  int fd = -1;
  struct stat st {};
  file_handle() = default;
  file_handle(const file_handle&) = delete;
  file_handle& operator=(const file_handle&) = delete;
  ~file_handle();
};

// True when the folder's entry `name` is still the regular file that was opened.
bool still_same(const file_handle& f);

// Removes the entry. 0, or an errno value (ESTALE when the entry is no longer the opened file).
int delete_file(const file_handle& f);

// The quarantine store: $XDG_DATA_HOME (when absolute), else $HOME/.local/share (when absolute),
// else the password database's home + /.local/share; then ferrox/quarantine. Missing folders are
// made with mode 0700. `ferrox` and `quarantine` are opened without following links and must be
// folders of the running user with mode 0700. Empty when there is no home.
std::string quarantine_folder();

// Copies the opened file's content into the store as <id>.data with a record <id>.info (original
// path, owner, mode, times, size, SHA-256, the names detected), then removes the entry. On any
// failure nothing stays in the store (nor anywhere else) and the file stays where it was. 0 or an
// errno value (EPERM, ELOOP, ENOTDIR: the store is not a private folder of ours);
// *item gets the store path of the record.
int quarantine_file(const file_handle& f, const std::string& path, const std::string& names,
                    std::string* item);

struct repair_span {
  repair_type how = repair_type::none;
  uint64_t start = 0, end = 0;  // the matched bytes
};

// Writes a repaired copy beside the file (cut at the earliest cut, matched bytes of blank spans
// zeroed), asks `clean` whether the copy scans clean (given its descriptor and size), and only
// then renames it over the entry, with the original's permission bits. 0 when the file was
// replaced; otherwise an errno value (EILSEQ: the copy is not clean) and the file is untouched.
int repair_file(const file_handle& f, const std::vector<repair_span>& spans,
                const std::function<bool(int fd, uint64_t size)>& clean);

}  // namespace qorvex

#endif  // QORVEX_SRC_FILE_ACTION_H_
