#include "scanner/scan/scan_settings.h"

#include <cstdlib>
#include <limits>
#include <sstream>
#include <vector>

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"

namespace ferrox {
namespace {

bool internal_error(const std::string& program) {
  log_line(3, program + ": " + msg(10) + "\n");
  return false;
}

// Sends one value; on refusal prints the line and tells whether the step may go on.
bool send(const std::string& program, engine_handle h, vse& engine, int32_t property, int32_t index,
          const void* value, uint64_t size, message_id label) {
  const engine_result r = engine.set_property(h, property, index, value, size);
  if (r == 0) return true;
  std::ostringstream line;
  line << program << ": " << msg(label) << " ";
  const int32_t level = describe_result(r, line);
  line << "\n";
  log_line(level, line.str());
  return level != 3;
}

bool send_i32(const std::string& program, engine_handle h, vse& engine, int32_t property,
              int32_t value, message_id label) {
  return send(program, h, engine, property, 0, &value, sizeof value, label);
}

int64_t clamp_to_i32(long long v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return v;
}

}  // namespace

int32_t parse_archive_depth(const std::string& text) {
  return static_cast<int32_t>(clamp_to_i32(std::strtoll(text.c_str(), nullptr, 0)));
}

uint32_t memory_limit_bytes(const std::string& text) {
  const long long mb = std::strtoll(text.c_str(), nullptr, 10);
  if (mb <= 0) return 0;
  constexpr long long kMax = std::numeric_limits<uint32_t>::max();
  if (mb > kMax / (1 << 20)) return static_cast<uint32_t>(kMax);
  return static_cast<uint32_t>(mb << 20);
}

bool apply_scan_settings(const std::string& program, engine_handle h, vse& engine) {
  bool disinfect, noarchive, heur_high, norecurse, follow, ads, del, macro_all, macro_variants, pua,
      heur_low, heur_med, noheur, force_delete, quarantine, nowhite, apkquick;
  std::string archive;
  if (!read_flag(kOptDisinfect, disinfect) || !read_flag(kOptNoArchive, noarchive) ||
      !read_flag(kOptHeurHigh, heur_high) || !read_flag(kOptNoRecurse, norecurse) ||
      !read_flag(kOptFollow, follow) || !read_string(kOptArchive, archive) ||
      !read_flag(kOptAds, ads) || !read_flag(kOptDelete, del) ||
      !read_flag(kOptMacroRemoveAll, macro_all) ||
      !read_flag(kOptMacroRemoveVariants, macro_variants) || !read_flag(kOptPua, pua) ||
      !read_flag(kOptHeurLow, heur_low) || !read_flag(kOptHeurMed, heur_med) ||
      !read_flag(kOptNoHeur, noheur) || !read_flag(kOptForceDelete, force_delete) ||
      !read_flag(kOptQuarantine, quarantine) || !read_flag(kOptNoWhite, nowhite) ||
      !read_flag(kOptApkQuick, apkquick))
    return internal_error(program);

  if (int(noheur) + int(heur_low) + int(heur_med) + int(heur_high) > 1) {
    log_line(3, program + ": " + msg(30) + "\n");
    return false;
  }
  const int32_t heuristics = heur_high ? 4 : heur_med ? 3 : heur_low ? 1 : noheur ? 0 : -1;
  const int32_t macro = macro_variants ? 2 : macro_all ? 1 : 0;
  const int32_t flags = 2 + (nowhite ? 256 : 0) + (apkquick ? 512 : 0) + (norecurse ? 0 : 8) +
                        (follow ? 16 : 0) + (ads ? 32 : 0);
  const int32_t action = quarantine ? 4 : disinfect ? 1 : del ? 2 : force_delete ? 3 : 0;
  const int32_t depth = noarchive ? 0 : parse_archive_depth(archive);

  if (!send_i32(program, h, engine, QVX_P_HEURISTICS, heuristics, 102)) return false;
  if (!send_i32(program, h, engine, QVX_P_MACRO_MODE, macro, 102)) return false;
  if (!send_i32(program, h, engine, QVX_P_SCAN_FLAGS, flags, 102)) return false;
  if (!send_i32(program, h, engine, QVX_P_ACTION, action, action == 4 ? 155 : 102)) return false;
  if (!send_i32(program, h, engine, QVX_P_ARCHIVE_DEPTH, depth, 27)) return false;
  if (!pua) {
    const uint64_t hidden = 12;  // adware and applications
    if (!send(program, h, engine, QVX_P_HIDDEN_KINDS, 0, &hidden, sizeof hidden, 10)) return false;
  }
  return true;
}

bool apply_memory_limit(const std::string& program, engine_handle h, vse& engine) {
  std::string text;
  if (!read_string(kOptLimitMemory, text)) return internal_error(program);
  const uint32_t bytes = memory_limit_bytes(text);
  if (bytes == 0) return true;
  if (engine.set_property(h, QVX_P_LIMITS, 6, &bytes, sizeof bytes) < 0)
    return internal_error(program);
  return true;
}

bool apply_event_mask(const std::string& program, engine_handle h, vse& engine) {
  bool verbose;
  if (!read_flag(kOptVerbose, verbose)) return internal_error(program);
  return send_i32(program, h, engine, QVX_P_EVENT_MASK, verbose ? 1011 : 560, 101);
}

bool apply_exclusions(const std::string& program, engine_handle h, vse& engine) {
  std::vector<std::string> folders, files, exts, includes;
  if (!read_list(kOptExcludeFolder, folders) || !read_list(kOptExcludeFile, files) ||
      !read_list(kOptExcludeExt, exts) || !read_list(kOptIncludeExt, includes))
    return internal_error(program);
  const struct {
    const std::vector<std::string>& values;
    int32_t property;
    message_id label;
  } lists[] = {{folders, QVX_P_EXCLUDE_FOLDER, 104},
               {files, QVX_P_EXCLUDE_FILE, 105},
               {exts, QVX_P_EXCLUDE_EXT, 106},
               {includes, QVX_P_INCLUDE_EXT, 107}};
  for (const auto& list : lists)
    for (const std::string& v : list.values)
      if (!send(program, h, engine, list.property, 0, v.c_str(), v.size(), list.label))
        return false;
  return true;
}

}  // namespace ferrox
