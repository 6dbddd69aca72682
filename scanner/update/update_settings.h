// The update's settings file: where it is, and how it is read.
#ifndef FERROX_SCANNER_UPDATE_UPDATE_SETTINGS_H_
#define FERROX_SCANNER_UPDATE_UPDATE_SETTINGS_H_

#include <cstddef>
#include <map>
#include <string>

#include "scanner/platform/user_folder.h"

namespace ferrox {

// Key to value, byte for byte as the file has them; keys are case-sensitive. Only the six keys
// baseurl, username, password, proxy, proxyuser and proxypassword are ever stored.
using update_settings = std::map<std::string, std::string>;

// A settings file larger than this is refused as unreadable: real ones hold six short lines.
inline constexpr std::size_t kMaxSettingsFileSize = 1 << 20;

// The full path of "avupd.ini" in the per-user data folder when an entry of that name exists (a
// folder counts), else of "dunmarrow.ini" there when it exists, else "" (also when the folder is
// unavailable). Only this one folder is searched.
std::string find_update_settings();
std::string find_update_settings_in(user_folder& folders);

// Sets baseurl, username, password and proxy empty, then reads the file at `path` into
// `settings`. True when the file could be read and baseurl, username and password are all
// non-empty afterwards; `settings` keeps what was read either way.
bool read_update_settings(const std::string& path, update_settings& settings);

// The reading rules on the file's text, with a carriage return before a line feed already
// dropped: a key runs up to the next "=" across line ends, so a line without "=" hides the
// setting on the line after it; an unrecognised key skips the rest of its line; a later line
// wins. Returns what read_update_settings returns after a successful read.
bool parse_update_settings(const std::string& text, update_settings& settings);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_UPDATE_SETTINGS_H_
