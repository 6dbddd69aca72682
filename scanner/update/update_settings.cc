#include "scanner/update/update_settings.h"

#include <fstream>
#include <iterator>

#include "scanner/platform/files.h"

namespace ferrox {
namespace {

bool recognised(const std::string& key) {
  static const char* const kKeys[] = {"baseurl", "username",  "password",
                                      "proxy",   "proxyuser", "proxypassword"};
  for (const char* k : kKeys)
    if (key == k) return true;
  return false;
}

// Files written on Windows read the same: a carriage return before a line feed is dropped.
std::string drop_carriage_returns(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i)
    if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) text += raw[i];
  return text;
}

}  // namespace

std::string find_update_settings_in(user_folder& folders) {
  std::string folder;
  if (!folders.local_data_folder(folder)) return "";
  if (folder.empty() || folder.back() != '/') folder += '/';
  file_system& fs = default_file_system();
  for (const char* name : {"avupd.ini", "dunmarrow.ini"}) {
    const std::string path = folder + name;
    if (fs.exists(path)) return path;
  }
  return "";
}

std::string find_update_settings() { return find_update_settings_in(default_user_folder()); }

bool parse_update_settings(const std::string& text, update_settings& settings) {
  std::size_t pos = 0;
  for (;;) {
    const std::size_t eq = text.find('=', pos);
    if (eq == std::string::npos) break;  // a key without "=" is discarded
    const std::string key = text.substr(pos, eq - pos);
    const std::size_t line_end = text.find('\n', eq + 1);
    const std::size_t next = line_end == std::string::npos ? text.size() : line_end + 1;
    if (recognised(key)) {
      const std::size_t value_end = line_end == std::string::npos ? text.size() : line_end;
      settings[key] = text.substr(eq + 1, value_end - eq - 1);
    }
    pos = next;
  }
  return !settings["baseurl"].empty() && !settings["username"].empty() &&
         !settings["password"].empty();
}

bool read_update_settings(const std::string& path, update_settings& settings) {
  for (const char* key : {"baseurl", "username", "password", "proxy"}) settings[key].clear();
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return false;
  std::string raw;
  char buf[4096];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    raw.append(buf, static_cast<std::size_t>(in.gcount()));
    if (raw.size() > kMaxSettingsFileSize) return false;
  }
  // A folder opens but cannot be read: that is an unreadable file, not an empty one.
  if (in.bad()) return false;
  return parse_update_settings(drop_carriage_returns(raw), settings);
}

}  // namespace ferrox
