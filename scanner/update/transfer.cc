#include "scanner/update/transfer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>

namespace ferrox {
namespace {

const char kServerFolder[] = "zorav/deffiles/def5-2/";
const char kHitMarker[] = "defId=";

// Where a download writes: one open file, and how much it may still take.
struct file_sink {
  output_file* file;
  uint64_t limit;
  uint64_t written = 0;
};

// Writes the whole block, or reports a short write so that the library ends the transfer with
// an error.
std::size_t file_writer(char* data, std::size_t size, std::size_t count, void* target) {
  auto* sink = static_cast<file_sink*>(target);
  const uint64_t bytes = static_cast<uint64_t>(size) * count;
  if (bytes > sink->limit - sink->written) return 0;
  if (bytes > 0 && !sink->file->write(data, bytes)) return 0;
  sink->written += bytes;
  return count;
}

// Downloads `url` into a new file in `folder`; on failure the file is removed again.
bool download(const transfer_functions& fn, CURL* handle, const std::string& url, uint64_t limit,
              update_files& files, const std::string& folder, std::string& path) {
  std::unique_ptr<output_file> file = files.create_unique(folder + kDownloadPrefix);
  if (!file) return false;
  file_sink sink{file.get(), limit};
  fn.set_option(handle, CURLOPT_URL, url.c_str());
  fn.set_option(handle, CURLOPT_WRITEDATA, static_cast<void*>(&sink));
  fn.set_option(handle, CURLOPT_WRITEFUNCTION, &file_writer);
  const CURLcode result = fn.perform(handle);
  // Every path closes the file; a failed close means the content cannot be trusted.
  const bool closed = file->finish(false);
  if (result != CURLE_OK || !closed) {
    files.remove(file->path());
    return false;
  }
  path = file->path();
  return true;
}

std::string visible(const std::string& identifier) {
  return identifier.substr(0, identifier.find('\0'));
}

}  // namespace

transfer_functions default_transfer_functions() {
  return {&curl_easy_init, &curl_easy_setopt, &curl_easy_perform, &curl_easy_cleanup};
}

std::size_t hit_parser(char* data, std::size_t size, std::size_t count, void* target) {
  const std::size_t bytes = size * count;
  if (data == nullptr || size == 0 || count == 0 || target == nullptr) return bytes;
  auto* state = static_cast<hit_state*>(target);
  state->received += bytes;
  if (state->received > kMaxHitBytes) return 0;
  const std::size_t length = strnlen(data, bytes);
  const std::string_view block(data, length);
  const std::size_t marker = block.find(kHitMarker);
  if (marker == std::string_view::npos) return bytes;
  std::string found(block.substr(marker + std::strlen(kHitMarker)));
  found.resize(kIdentifierLength, '\0');
  state->identifier = found;
  return bytes;
}

std::string server_url(const update_settings& settings, const std::string& path) {
  const auto it = settings.find("baseurl");
  std::string url = it == settings.end() ? std::string() : it->second;
  if (url.empty() || url.back() != '/') url += '/';
  return url + path;
}

std::string hit_file_path() { return std::string(kServerFolder) + "sigbase-v2-hit.ini"; }

std::string package_path(const std::string& identifier, const char* extension) {
  // A short identifier is padded with NUL bytes: only its visible part can stand in a path.
  return std::string(kServerFolder) + "sigbase-v2-z-" + visible(identifier) + "." + extension;
}

void set_common_options(const transfer_functions& fn, CURL* handle,
                        const update_settings& settings) {
  auto value = [&settings](const char* key) {
    const auto it = settings.find(key);
    return it == settings.end() ? std::string() : it->second;
  };
  const std::string credentials = value("username") + ":" + value("password");
  fn.set_option(handle, CURLOPT_USERPWD, credentials.c_str());
  const std::string proxy = value("proxy");
  if (!proxy.empty()) {
    fn.set_option(handle, CURLOPT_PROXY, proxy.c_str());
    // Presence counts, not content: an empty proxyuser line still sends credentials.
    if (settings.count("proxyuser") && settings.count("proxypassword")) {
      const std::string proxy_credentials = value("proxyuser") + ":" + value("proxypassword");
      fn.set_option(handle, CURLOPT_PROXYUSERPWD, proxy_credentials.c_str());
    }
  }
  // Plain file, ftp or other schemes have no business in an update.
  fn.set_option(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  fn.set_option(handle, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
  fn.set_option(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
  fn.set_option(handle, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
  fn.set_option(handle, CURLOPT_TIMEOUT, kTransferSeconds);
  // Time limits must not rely on signals: the engine's threads are running.
  fn.set_option(handle, CURLOPT_NOSIGNAL, 1L);
}

bool fetch_latest_identifier(const update_settings& settings, const transfer_functions& fn,
                             std::string& identifier) {
  identifier.clear();
  CURL* handle = fn.create();
  if (handle == nullptr) return false;
  hit_state state;
  const std::string url = server_url(settings, hit_file_path());
  fn.set_option(handle, CURLOPT_URL, url.c_str());
  fn.set_option(handle, CURLOPT_WRITEDATA, static_cast<void*>(&state));
  fn.set_option(handle, CURLOPT_WRITEFUNCTION, &hit_parser);
  set_common_options(fn, handle, settings);
  // Only the identifier tells success: an error page simply holds none.
  fn.perform(handle);
  fn.release(handle);
  identifier = state.identifier;
  return !identifier.empty();
}

bool fetch_update_package(const update_settings& settings, const transfer_functions& fn,
                          const std::string& identifier, std::string& description_path,
                          std::string& archive_path, update_files& files,
                          const std::string& folder) {
  description_path.clear();
  archive_path.clear();
  CURL* handle = fn.create();
  if (handle == nullptr) return false;
  set_common_options(fn, handle, settings);
  const auto started = std::chrono::steady_clock::now();
  std::string description, archive;
  bool ok = download(fn, handle, server_url(settings, package_path(identifier, "ini")),
                     kMaxDescriptionBytes, files, folder, description);
  if (ok) {
    // The package step as a whole gets the time limit: the archive has what the description left.
    const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    const long left = static_cast<long>(kTransferSeconds * 1000 - spent.count());
    fn.set_option(handle, CURLOPT_TIMEOUT_MS, std::max(1L, left));
    ok = download(fn, handle, server_url(settings, package_path(identifier, "zip")),
                  kMaxArchiveBytes, files, folder, archive);
    if (!ok) files.remove(description);
  }
  fn.release(handle);
  if (!ok) return false;
  description_path = description;
  archive_path = archive;
  return true;
}

}  // namespace ferrox
