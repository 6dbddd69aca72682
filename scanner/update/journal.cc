#include "scanner/update/journal.h"

#include <memory>

#include "scanner/platform/staging.h"

namespace ferrox {

const char* const kDefinitionNames[2] = {"sigbase-v2.def", "qorvexcon-v2.def"};

namespace {

const char kStagingName[] = ".fxupdate";
const char kCommitName[] = "commit";
// The temporary names that an older install made beside the definition files: ".<name>." and
// six characters.
constexpr std::size_t kUniqueLength = 6;
constexpr std::size_t kMaxOldTemporaries = 1000;

std::string with_slash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool is_old_temporary(const std::string& entry) {
  for (const char* name : kDefinitionNames) {
    const std::string prefix = std::string(".") + name + ".";
    if (entry.size() == prefix.size() + kUniqueLength &&
        entry.compare(0, prefix.size(), prefix) == 0)
      return true;
  }
  return false;
}

// Renames every staged file that is still in the staging folder over its installed name.
bool roll_forward(const std::string& folder, const std::string& staging, update_files& files) {
  bool ok = true;
  for (const char* name : kDefinitionNames) {
    if (entry_exists(staging + name)) ok = files.replace(staging + name, folder + name) && ok;
  }
  return ok;
}

}  // namespace

std::string staging_folder(const std::string& definitions) {
  return with_slash(definitions) + kStagingName + "/";
}

bool recover_definitions(const std::string& definitions, update_files& files) {
  if (definitions.empty()) return true;
  const std::string folder = with_slash(definitions);
  const std::string staging = staging_folder(definitions);
  bool ok = true, changed = false;
  if (entry_exists(folder + kStagingName)) {
    changed = true;
    if (entry_exists(staging + kCommitName)) ok = roll_forward(folder, staging, files);
    // A rename that failed keeps the journal, so that a later run tries again.
    if (ok) ok = remove_entry(folder + kStagingName);
  }
  for (const std::string& entry : folder_entries(folder, kMaxOldTemporaries, is_old_temporary))
    changed = files.remove(folder + entry) || changed;
  if (changed) sync_folder(folder);
  return ok;
}

void recover_definitions_if_idle(const std::string& definitions) {
  if (definitions.empty()) return;
  // Most runs find nothing to do and never take the lock, so they never delay an update.
  const std::string folder = with_slash(definitions);
  if (!entry_exists(folder + kStagingName) && folder_entries(folder, 1, is_old_temporary).empty())
    return;
  const std::unique_ptr<folder_lock> lock = lock_folder(definitions, 0);
  if (lock) recover_definitions(definitions, default_update_files());
}

bool commit_staged_pair(const std::string& definitions, update_files& files) {
  const std::string folder = with_slash(definitions);
  const std::string staging = staging_folder(definitions);
  // The staged files' names must be on the disk before the record that says they are complete.
  if (!sync_folder(staging)) return false;
  std::unique_ptr<output_file> marker = files.create_unique(staging + ".commit.");
  if (!marker || !marker->finish(true) || !files.replace(marker->path(), staging + kCommitName))
    return false;
  // replace flushed the staging folder: from here on a crash rolls forward.
  if (!roll_forward(folder, staging, files)) return false;
  remove_entry(folder + kStagingName);
  sync_folder(folder);
  return true;
}

}  // namespace ferrox
