// Downloads from the update server: the newest identifier, and the package of a release.
#ifndef FERROX_SCANNER_UPDATE_TRANSFER_H_
#define FERROX_SCANNER_UPDATE_TRANSFER_H_

#include <curl/curl.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "scanner/platform/update_files.h"
#include "scanner/update/update_settings.h"

namespace ferrox {

// The transfer library's entry points, filled anew for every update. Tests may put their own in.
struct transfer_functions {
  CURL* (*create)();
  CURLcode (*set_option)(CURL* handle, CURLoption option, ...);
  CURLcode (*perform)(CURL* handle);
  void (*release)(CURL* handle);
};

transfer_functions default_transfer_functions();

// The server identifier of a release is always this long.
inline constexpr std::size_t kIdentifierLength = 12;

// Limits that keep a broken or hostile server from stalling the update or filling the disk. A
// transfer that cannot connect within the connect limit, that moves less than kLowSpeedBytes a
// second for kLowSpeedSeconds, or that is not over after kTransferSeconds ends with an error. The
// package step's two transfers share one kTransferSeconds.
inline constexpr long kConnectSeconds = 30;
inline constexpr long kLowSpeedBytes = 1024;
inline constexpr long kLowSpeedSeconds = 60;
inline constexpr long kTransferSeconds = 30 * 60;
inline constexpr uint64_t kMaxHitBytes = 1 << 20;
inline constexpr uint64_t kMaxDescriptionBytes = 1 << 20;
inline constexpr uint64_t kMaxArchiveBytes = 1ull << 30;

// Where the hit parser puts what it finds.
struct hit_state {
  std::string identifier;  // kIdentifierLength bytes once found, else empty
  uint64_t received = 0;
};

// The write function of the hit file download. Each block (up to its first NUL) is searched on
// its own for the first "defId="; the bytes after it, cut or padded with NUL bytes to 12, replace
// the identifier. Returns size * count, or 0 (which stops the transfer) once more than
// kMaxHitBytes have arrived.
std::size_t hit_parser(char* data, std::size_t size, std::size_t count, void* state);

// The server address of a file: `baseurl` with "/" added when it does not end in one, then
// `path`.
std::string server_url(const update_settings& settings, const std::string& path);

// The server paths of a release.
std::string hit_file_path();
std::string package_path(const std::string& identifier, const char* extension);

// Sets the server credentials, and the proxy when `proxy` is non-empty, with proxy credentials
// only when both proxyuser and proxypassword are present; then the protocol and time limits.
void set_common_options(const transfer_functions& fn, CURL* handle,
                        const update_settings& settings);

// The newest identifier on the server, read from the hit file. True when one was found; the
// transfer's own result is not looked at.
bool fetch_latest_identifier(const update_settings& settings, const transfer_functions& fn,
                             std::string& identifier);

// Downloads go to new files named by this prefix and six unique characters.
inline constexpr char kDownloadPrefix[] = "fxupd.";

// Downloads the package description and then the package archive of `identifier` into new files
// in `folder` (ending in "/", or empty for the working folder). True when both arrived without a
// transfer error (an answer with an HTTP error status is no transfer error); both paths are then
// set. On failure no file is left and both paths are empty.
bool fetch_update_package(const update_settings& settings, const transfer_functions& fn,
                          const std::string& identifier, std::string& description_path,
                          std::string& archive_path, update_files& files,
                          const std::string& folder = "");

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_TRANSFER_H_
