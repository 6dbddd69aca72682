// Outcomes of actions on files, and the copies and moves the scanner makes itself.
#ifndef FERROX_SCANNER_SCAN_DETECTION_ACTIONS_H_
#define FERROX_SCANNER_SCAN_DETECTION_ACTIONS_H_

#include <string>

#include "scanner/context/run_context.h"

namespace ferrox {

class file_system;

// Event 512: prints the action's line; for a file of interest (code 6) copies it into --copy=
// and then moves it into --move=. Runs under callback_lock.
void report_action(const run_context& ctx, engine_handle object);

// The destination is the folder text followed by the file path's last "/" and what follows it.
// A path without "/" has no name to append: both fail without touching anything.
bool copy_to_folder(const std::string& file, const std::string& folder, file_system& fs);
bool move_to_folder(const std::string& file, const std::string& folder, file_system& fs);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SCAN_DETECTION_ACTIONS_H_
