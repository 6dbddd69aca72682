#include "scanner/update/update.h"

#include <algorithm>
#include <cstring>

#include "qorvex.h"
#include "scanner/engine/definitions_location.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/staging.h"
#include "scanner/platform/update_files.h"
#include "scanner/update/install.h"
#include "scanner/update/journal.h"
#include "scanner/update/release_signature.h"
#include "scanner/update/staged_release.h"
#include "scanner/update/transfer.h"
#include "scanner/update/update_settings.h"

namespace ferrox {
namespace {

constexpr int32_t kUpdated = 0;
constexpr int32_t kNotWritten = 231;
constexpr int32_t kDownloadFailed = 232;
constexpr int32_t kNoInstalledIdentifier = 233;
constexpr int32_t kBadSettings = 234;
constexpr int32_t kNoSettings = 236;
// How long an update waits for another run to finish with the definitions folder.
constexpr int kLockWaitMs = 10000;

// "<program>: <text of id><extra>\n" at `level`.
void report(const run_context& ctx, message_id id, int32_t level, const std::string& extra = "") {
  ctx.started_as.line(level, msg(id) + extra);
}

// The engine's identifier: at most 13 characters in a 14-byte buffer.
bool installed_identifier(vse& engine, engine_handle h, std::string& out) {
  char text[14] = {};
  if (engine.get_property(h, QVX_P_DEFS_VERSION, QVX_DEFS_SIGNATURES, text, sizeof text) < 0)
    return false;
  out.assign(text, strnlen(text, sizeof text));
  return true;
}

// Folds every way a staged release can be refused into one answer.
bool release_accepted(const run_context& ctx, const std::string& staging, const std::string& latest,
                      const std::string& signature) {
  const signature_verdict verdict =
      check_release_signature(staging, latest, signature, trusted_key_files(kMaxTrustedKeys));
  if (verdict == signature_verdict::refused) return false;
  return staged_pair_loads(ctx.engine, staged_check_type(ctx.options.deftype), staging, latest);
}

// Removes the staging folder on every way out, unless the pair was being put in place: then it
// is the journal that the next run completes.
class staging_cleanup {
 public:
  explicit staging_cleanup(std::string staging) : staging_(std::move(staging)) {}
  ~staging_cleanup() {
    if (!keep_) remove_entry(staging_);
  }
  void keep() { keep_ = true; }

 private:
  std::string staging_;
  bool keep_ = false;
};

// Steps 6 to 9 of the update: a newer release is on the server. Everything of the update happens
// in a staging folder inside the definitions folder, under the folder lock.
int32_t download_and_install(const run_context& ctx, const update_settings& settings,
                             const transfer_functions& fn, const std::string& latest) {
  update_files& files = default_update_files();
  // Without a definitions folder there is nowhere sound to write: "" would mean the root.
  const std::string directory = locate_definitions(ctx.options.deflocation);
  const std::unique_ptr<folder_lock> lock =
      directory.empty() ? nullptr : lock_folder(directory, kLockWaitMs);
  const std::string staging = staging_folder(directory);
  if (!lock || !recover_definitions(directory, files) || !make_private_folder(staging)) {
    report(ctx, kMsgUpdateWriteFailed, 3);
    return kNotWritten;
  }
  staging_cleanup cleanup(staging);
  std::string description, archive;
  if (!fetch_update_package(settings, fn, latest, description, archive, files, staging)) {
    report(ctx, kMsgUpdateCredentialsFailed, 3);
    return kDownloadFailed;
  }
  std::string signature;
  bool ok = install_definitions(archive, staging, files, &signature);
  files.remove(description);
  files.remove(archive);
  ok = ok && release_accepted(ctx, staging, latest, signature);
  if (ok) {
    cleanup.keep();
    ok = commit_staged_pair(directory, files);
  }
  if (!ok) {
    report(ctx, kMsgUpdateWriteFailed, 3);
    return kNotWritten;
  }
  // A short identifier is padded with NUL bytes, which have no place on the console.
  report(ctx, kMsgUpdatedTo, 1, std::string(" ").append(latest, 0, latest.find('\0')));
  return kUpdated;
}

}  // namespace

bool newer_identifier(const std::string& latest, const std::string& installed) {
  const std::size_t n = std::min(kIdentifierLength, installed.size());
  for (std::size_t i = 0; i < n && i < latest.size(); ++i) {
    const auto a = static_cast<unsigned char>(latest[i]);
    const auto b = static_cast<unsigned char>(installed[i]);
    if (a != b) return a > b;
  }
  return latest.size() > installed.size();
}

int32_t update_definitions(const run_context& ctx, engine_handle h) {
  const std::string path = find_update_settings();
  if (path.empty()) {
    report(ctx, kMsgUpdateNoSettings, 3);
    return kNoSettings;
  }
  update_settings settings;
  const transfer_functions fn = default_transfer_functions();
  if (!read_update_settings(path, settings)) {
    report(ctx, kMsgUpdateBadSettings, 3);
    return kBadSettings;
  }
  // Without an object the installed definitions did not load: any release repairs them.
  std::string installed;
  if (h != 0 && !installed_identifier(ctx.engine, h, installed)) {
    report(ctx, kMsgUpdateOtherError, 3);
    return kNoInstalledIdentifier;
  }
  std::string latest;
  if (!fetch_latest_identifier(settings, fn, latest)) {
    report(ctx, kMsgUpdateCredentialsFailed, 3);
    return kDownloadFailed;
  }
  if (!newer_identifier(latest, installed)) {
    report(ctx, kMsgNoUpdate, 1);
    return kUpdated;
  }
  return download_and_install(ctx, settings, fn, latest);
}

}  // namespace ferrox
