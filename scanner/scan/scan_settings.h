// Turning the options into settings of one engine object.
#ifndef FERROX_SCANNER_SCAN_SCAN_SETTINGS_H_
#define FERROX_SCANNER_SCAN_SCAN_SETTINGS_H_

#include <cstdint>
#include <string>

#include "scanner/engine/vse.h"

namespace ferrox {

// Each step reads its options, sends the values with set_property and prints a refusal line
// "<program>: <label> <result text>" at the result's level. False stops the configuration (a
// level-3 refusal, an unreadable option, or the heuristics conflict, which is found before
// anything is sent). Safe to run on several threads at once, each on its own handle.
bool apply_scan_settings(const std::string& program, engine_handle h, vse& engine);
bool apply_memory_limit(const std::string& program, engine_handle h, vse& engine);
bool apply_event_mask(const std::string& program, engine_handle h, vse& engine);
bool apply_exclusions(const std::string& program, engine_handle h, vse& engine);

// --archive= read like a C integer literal: decimal, 0x hexadecimal or leading-zero octal, up to
// the first character that does not fit; nothing numeric gives 0. Kept to 32 bits.
int32_t parse_archive_depth(const std::string& text);
// --limit-memory= megabytes as bytes: 0 for none or a negative value, at most 4,294,967,295.
uint32_t memory_limit_bytes(const std::string& text);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SCAN_SCAN_SETTINGS_H_
