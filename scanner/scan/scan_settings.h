// Turning the options into settings of one engine object.
#ifndef FERROX_SCANNER_SCAN_SCAN_SETTINGS_H_
#define FERROX_SCANNER_SCAN_SCAN_SETTINGS_H_

#include <cstdint>
#include <string>

#include "scanner/cmdline/options.h"
#include "scanner/context/run_context.h"

namespace ferrox {

// The scan settings an engine object gets from the options.
struct engine_settings {
  int32_t heuristics;  // -1 leaves the engine's default
  int32_t macro_mode;
  int32_t flags;
  int32_t action;  // what to do with a file of interest
  int32_t archive_depth;
  bool hide_unwanted;  // adware and applications are not reported (no --pua)
};
engine_settings engine_settings_for(const scan_options& options);

// True when more than one of --noheur, --heur-low, --heur-med and --heur-high is given.
bool heuristics_conflict(const scan_options& options);

// Each step sends its values with set_property and prints a refusal line
// "<program>: <label> <result text>" at the result's level. False stops the configuration (a
// level-3 refusal, or the heuristics conflict, which is found before anything is sent). Safe to
// run on several threads at once, each on its own handle.
bool apply_scan_settings(const run_context& ctx, engine_handle h);
bool apply_memory_limit(const run_context& ctx, engine_handle h);
bool apply_event_mask(const run_context& ctx, engine_handle h);
bool apply_exclusions(const run_context& ctx, engine_handle h);

// --archive= read like a C integer literal: decimal, 0x hexadecimal or leading-zero octal, up to
// the first character that does not fit; nothing numeric gives 0. Kept to 32 bits.
int32_t parse_archive_depth(const std::string& text);
// --limit-memory= megabytes as bytes: 0 for none or a negative value, at most 4,294,967,295.
uint32_t memory_limit_bytes(const std::string& text);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SCAN_SCAN_SETTINGS_H_
