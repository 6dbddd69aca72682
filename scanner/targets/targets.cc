#include "scanner/targets/targets.h"

#include <omp.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/files.h"
#include "scanner/run/process_globals.h"
#include "scanner/scan/printable_name.h"

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

bool collect_targets(target_list& targets) {
  if (g_params == nullptr) return false;
  g_params->get_paths(targets);
  static const struct {
    option_id option;
    int drive_class;
  } kClasses[] = {{kOptHard, kClassHard},
                  {kOptCdrom, kClassCdrom},
                  {kOptNetwork, kClassNetwork},
                  {kOptRemovable, kClassRemovable}};
  for (const auto& c : kClasses) {
    bool wanted = false;
    if (!read_flag(c.option, wanted)) return false;
    if (!wanted) continue;
    std::vector<std::string> roots;
    if (!list_drives(c.drive_class, roots, default_drive_source())) return false;
    targets.insert(targets.end(), roots.begin(), roots.end());
  }
  std::string list_file;
  if (!read_string(kOptFile, list_file) || list_file.empty()) return true;
  const std::vector<std::string> lines = read_list_file(list_file);
  targets.insert(targets.end(), lines.begin(), lines.end());
  return true;
}

namespace {

// Scans one target; false when its result was level 3.
bool scan_one(const std::string& target, vse& engine, engine_handle h) {
  // A target that does not exist goes to the engine as a file too: the engine counts it as an
  // object it could not scan and answers "not found".
  const int32_t command =
      default_file_system().is_directory(target) ? QVX_CMD_SCAN_FOLDER : QVX_CMD_SCAN_FILE;
  const engine_result r = engine.run_command(h, command, target.c_str(), 0, 0);
  if (r == QVX_R_SUCCESS || r == QVX_R_DETECTED || r == QVX_R_RESERVED_2) return true;
  std::ostringstream line;
  line << program_path << ": " << msg(kMsgLabelScanningPath) << " " << printable_name(target)
       << ": ";
  const int32_t level = describe_result(r, line);
  line << "\n";
  log_line(level, line.str());
  return level != 3;
}

}  // namespace

bool scan_targets(const target_list& targets, vse& engine, const engine_object_list& objects) {
  if (objects.empty()) return false;
  bool status = true;
  const int team = std::min<int>(omp_get_max_threads(), static_cast<int>(objects.size()));
  const long n = static_cast<long>(targets.size());
#pragma omp parallel for schedule(dynamic, 1) num_threads(team) shared(status)
  for (long i = 0; i < n; ++i) {
    const engine_handle h = objects[static_cast<std::size_t>(omp_get_thread_num())];
    if (!scan_one(targets[static_cast<std::size_t>(i)], engine, h)) {
#pragma omp atomic write
      status = false;
    }
  }
  return status;
}

}  // namespace ferrox
