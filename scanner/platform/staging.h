// Folder operations of the definitions update: the private staging folder beside the definition
// files, the lock that keeps two runs from changing one definitions folder at once, and the
// trusted key files.
#ifndef FERROX_SCANNER_PLATFORM_STAGING_H_
#define FERROX_SCANNER_PLATFORM_STAGING_H_

#include <memory>
#include <string>
#include <vector>

namespace ferrox {

// An exclusive hold on a folder (flock on the folder itself, so no lock file is left behind).
// The system drops it when the process dies, however it dies.
class folder_lock {
 public:
  virtual ~folder_lock() = default;
};

// Takes the lock on `folder`, trying for up to `wait_ms` milliseconds (0: one try). Null when
// the folder cannot be opened or another process holds the lock.
std::unique_ptr<folder_lock> lock_folder(const std::string& folder, int wait_ms);

// Makes a new folder readable and writable by the owner only. False when it exists already or
// cannot be made.
bool make_private_folder(const std::string& path);

// True when `path` names an entry of any kind (a dangling link counts).
bool entry_exists(const std::string& path);

// The names of the entries of `folder` (no "." or "..") that `keep` accepts (all when null), at
// most `limit` of them.
std::vector<std::string> folder_entries(const std::string& folder, std::size_t limit,
                                        bool (*keep)(const std::string& name) = nullptr);

// Removes `path` when it is a file or a link; a folder is emptied of its files and links and
// removed. True when nothing of that name is left.
bool remove_entry(const std::string& path);

// Flushes a folder's entries to disk, so that renames and new names in it outlive a power cut.
bool sync_folder(const std::string& folder);

// The trusted public key files: the "*.pub" files of the folder named by FERROX_TRUSTED_KEYS
// when that variable is set and not empty, else of /etc/ferrox/keys/. Sorted, at most `limit`.
std::vector<std::string> trusted_key_files(std::size_t limit);

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_STAGING_H_
