// The scan targets: command-line paths, drive classes and list-file lines, and their parallel scan.
#ifndef FERROX_SCANNER_TARGETS_TARGETS_H_
#define FERROX_SCANNER_TARGETS_TARGETS_H_

#include <string>
#include <vector>

#include "scanner/cmdline/options.h"
#include "scanner/context/run_context.h"
#include "scanner/platform/drives.h"

namespace ferrox {

using target_list = std::vector<std::string>;

// Drive classes, in the order their drives join the list.
enum drive_class { kClassHard = 0, kClassCdrom = 1, kClassNetwork = 2, kClassRemovable = 3 };

// Paths of the command line, then the drives of each class asked for (hard, CD-ROM, network,
// removable, whatever the option order), then the lines of the --file= list longer than one
// character. False when the drives cannot be listed.
bool collect_targets(const scan_options& options, target_list& targets);

// The roots of the drives of one class; removable drives only with a medium. False when the
// system lists no drives at all.
bool list_drives(int drive_class, std::vector<std::string>& out, drive_source& source);

// The lines of a list file worth scanning; a file that cannot be opened gives none.
std::vector<std::string> read_list_file(const std::string& path);

// Scans every target once, in parallel (dynamic schedule, chunk 1), each thread on the engine
// object of its thread number in ctx.objects. The team never has more threads than there are
// objects, so a thread always has an object. False when some target ended in a level-3 result.
bool scan_targets(const run_context& ctx, const target_list& targets);

}  // namespace ferrox

#endif  // FERROX_SCANNER_TARGETS_TARGETS_H_
