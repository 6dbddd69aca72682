#include "scanner/targets/targets.h"

#include <omp.h>

#include <algorithm>
#include <fstream>

#include "qorvex.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/files.h"
#include "scanner/logging/printable_name.h"

namespace ferrox {

bool list_drives(int drive_class, std::vector<std::string>& out, drive_source& source) {
  out.clear();
  std::vector<drive> drives;
  if (!source.list(drives)) return false;
  static const drive_type kTypeOfClass[] = {kDriveFixed, kDriveCdrom, kDriveRemote,
                                            kDriveRemovable};
  if (drive_class < 0 || drive_class > 3) return true;
  for (const drive& d : drives) {
    if (d.type != kTypeOfClass[drive_class]) continue;
    if (drive_class == kClassRemovable && !source.has_medium(d.root)) continue;
    out.push_back(d.root);
  }
  return true;
}

std::vector<std::string> read_list_file(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  if (!in) return lines;
  for (std::string line; std::getline(in, line);) {
    // Files written on Windows end their lines in a carriage return: it is not part of the path.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 1) lines.push_back(line);
  }
  return lines;
}

bool collect_targets(const scan_options& options, target_list& targets) {
  targets = options.paths;
  static const struct {
    bool scan_options::*wanted;
    int drive_class;
  } kClasses[] = {{&scan_options::hard, kClassHard},
                  {&scan_options::cdrom, kClassCdrom},
                  {&scan_options::network, kClassNetwork},
                  {&scan_options::removable, kClassRemovable}};
  for (const auto& c : kClasses) {
    if (!(options.*c.wanted)) continue;
    std::vector<std::string> roots;
    if (!list_drives(c.drive_class, roots, default_drive_source())) return false;
    targets.insert(targets.end(), roots.begin(), roots.end());
  }
  if (options.list_file.empty()) return true;
  const std::vector<std::string> lines = read_list_file(options.list_file);
  targets.insert(targets.end(), lines.begin(), lines.end());
  return true;
}

namespace {

// Scans one target; false when its result was level 3.
bool scan_one(const run_context& ctx, const std::string& target, engine_handle h) {
  // A target that does not exist goes to the engine as a file too: the engine counts it as an
  // object it could not scan and answers "not found".
  const int32_t command =
      default_file_system().is_directory(target) ? QVX_CMD_SCAN_FOLDER : QVX_CMD_SCAN_FILE;
  const engine_result r = ctx.engine.run_command(h, command, target.c_str(), 0, 0);
  if (r == QVX_R_SUCCESS || r == QVX_R_DETECTED || r == QVX_R_RESERVED_2) return true;
  return ctx.program_file.result(msg(kMsgLabelScanningPath) + " " + printable_name(target) + ":",
                                 r) != 3;
}

}  // namespace

bool scan_targets(const run_context& ctx, const target_list& targets) {
  const engine_object_list& objects = ctx.objects;
  if (objects.empty()) return false;
  bool status = true;
  const int team = std::min<int>(omp_get_max_threads(), static_cast<int>(objects.size()));
  const long n = static_cast<long>(targets.size());
#pragma omp parallel for schedule(dynamic, 1) num_threads(team) shared(status)
  for (long i = 0; i < n; ++i) {
    const engine_handle h = objects[static_cast<std::size_t>(omp_get_thread_num())];
    if (!scan_one(ctx, targets[static_cast<std::size_t>(i)], h)) {
#pragma omp atomic write
      status = false;
    }
  }
  return status;
}

}  // namespace ferrox
