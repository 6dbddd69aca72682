#include "scanner/update/update.h"

#include <algorithm>
#include <cstring>

#include "qorvex.h"
#include "scanner/engine/definitions_location.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/update_files.h"
#include "scanner/update/install.h"
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

// "<prefix>: <text of id><extra>\n" at `level`.
void report(const std::string& prefix, message_id id, int32_t level,
            const std::string& extra = "") {
  log_line(level, prefix + ": " + msg(id) + extra + "\n");
}

// The engine's identifier: at most 13 characters in a 14-byte buffer.
bool installed_identifier(vse& engine, engine_handle h, std::string& out) {
  char text[14] = {};
  if (engine.get_property(h, QVX_P_DEFS_VERSION, 0, text, sizeof text) < 0) return false;
  out.assign(text, strnlen(text, sizeof text));
  return true;
}

// Removes the downloaded files on every way out of the update.
class download_cleanup {
 public:
  explicit download_cleanup(update_files& files) : files_(files) {}
  ~download_cleanup() {
    if (!description_.empty()) files_.remove(description_);
    if (!archive_.empty()) files_.remove(archive_);
  }
  std::string& description() { return description_; }
  std::string& archive() { return archive_; }

 private:
  update_files& files_;
  std::string description_;
  std::string archive_;
};

// Steps 6 to 9 of the update: a newer release is on the server.
int32_t download_and_install(const update_settings& settings, const transfer_functions& fn,
                             const std::string& latest, const std::string& prefix) {
  update_files& files = default_update_files();
  download_cleanup downloads(files);
  if (!fetch_update_package(settings, fn, latest, downloads.description(), downloads.archive(),
                            files)) {
    report(prefix, 4501, 3);
    return kDownloadFailed;
  }
  // Without a definitions folder there is nowhere sound to write: "" would mean the root.
  std::string directory = locate_definitions();
  bool ok = !directory.empty();
  if (ok) {
    if (directory.back() != '/') directory += '/';
    ok = install_definitions(downloads.archive(), directory, files);
  }
  if (!ok) {
    report(prefix, 4500, 3);
    return kNotWritten;
  }
  // A short identifier is padded with NUL bytes, which have no place on the console.
  report(prefix, 4506, 1, std::string(" ").append(latest, 0, latest.find('\0')));
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

int32_t update_definitions(vse& engine, engine_handle h, const std::string& prefix) {
  const std::string path = find_update_settings();
  if (path.empty()) {
    report(prefix, 4505, 3);
    return kNoSettings;
  }
  update_settings settings;
  const transfer_functions fn = default_transfer_functions();
  if (!read_update_settings(path, settings)) {
    report(prefix, 4503, 3);
    return kBadSettings;
  }
  std::string installed;
  if (!installed_identifier(engine, h, installed)) {
    report(prefix, 4502, 3);
    return kNoInstalledIdentifier;
  }
  std::string latest;
  if (!fetch_latest_identifier(settings, fn, latest)) {
    report(prefix, 4501, 3);
    return kDownloadFailed;
  }
  if (!newer_identifier(latest, installed)) {
    report(prefix, 4507, 1);
    return kUpdated;
  }
  return download_and_install(settings, fn, latest, prefix);
}

}  // namespace ferrox
