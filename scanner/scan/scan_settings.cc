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
  log_line(3, program + ": " + msg(kMsgInternalError) + "\n");
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

// Detections, statuses and actions always; a verbose run also follows every object.
constexpr int32_t kQuietEvents = QVX_EV_DETECTION | QVX_EV_STATUS | QVX_EV_ACTION;
constexpr int32_t kVerboseEvents =
    kQuietEvents | QVX_EV_OPEN | QVX_EV_SCANNING | QVX_EV_CLOSE | QVX_EV_NAMES | QVX_EV_PROGRESS;

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
    log_line(3, program + ": " + msg(kMsgHeuristicsConflict) + "\n");
    return false;
  }
  const int32_t heuristics = heur_high  ? QVX_HEUR_HIGH
                             : heur_med ? QVX_HEUR_MEDIUM
                             : heur_low ? QVX_HEUR_LOW
                             : noheur   ? QVX_HEUR_OFF
                                        : QVX_HEUR_DEFAULT;
  const int32_t macro = macro_variants ? QVX_MACRO_REMOVE_VARIANTS
                        : macro_all    ? QVX_MACRO_REMOVE_ALL
                                       : QVX_MACRO_KEEP;
  const int32_t flags = QVX_FLAG_STANDARD | (nowhite ? QVX_FLAG_NO_ALLOW_LIST : 0) |
                        (apkquick ? QVX_FLAG_APK_QUICK : 0) | (norecurse ? 0 : QVX_FLAG_RECURSE) |
                        (follow ? QVX_FLAG_FOLLOW_LINKS : 0) |
                        (ads ? QVX_FLAG_EXTENDED_ATTRIBUTES : 0);
  const int32_t action = quarantine     ? QVX_ACTION_QUARANTINE
                         : disinfect    ? QVX_ACTION_DISINFECT
                         : del          ? QVX_ACTION_DELETE
                         : force_delete ? QVX_ACTION_FORCE_DELETE
                                        : QVX_ACTION_NONE;
  const int32_t depth = noarchive ? 0 : parse_archive_depth(archive);

  if (!send_i32(program, h, engine, QVX_P_HEURISTICS, heuristics, kMsgLabelScanningMode))
    return false;
  if (!send_i32(program, h, engine, QVX_P_MACRO_MODE, macro, kMsgLabelScanningMode)) return false;
  if (!send_i32(program, h, engine, QVX_P_SCAN_FLAGS, flags, kMsgLabelScanningMode)) return false;
  if (!send_i32(program, h, engine, QVX_P_ACTION, action,
                action == QVX_ACTION_QUARANTINE ? kMsgQuarantineInitFailed : kMsgLabelScanningMode))
    return false;
  if (!send_i32(program, h, engine, QVX_P_ARCHIVE_DEPTH, depth, kMsgArchiveDepthInvalid))
    return false;
  if (!pua) {
    const uint64_t hidden = uint64_t{1} << QVX_KIND_ADWARE | uint64_t{1} << QVX_KIND_APPLICATION;
    if (!send(program, h, engine, QVX_P_HIDDEN_KINDS, 0, &hidden, sizeof hidden, kMsgInternalError))
      return false;
  }
  return true;
}

bool apply_memory_limit(const std::string& program, engine_handle h, vse& engine) {
  std::string text;
  if (!read_string(kOptLimitMemory, text)) return internal_error(program);
  const uint32_t bytes = memory_limit_bytes(text);
  if (bytes == 0) return true;
  if (engine.set_property(h, QVX_P_LIMITS, QVX_LIMIT_MEMBER_BYTES, &bytes, sizeof bytes) < 0)
    return internal_error(program);
  return true;
}

bool apply_event_mask(const std::string& program, engine_handle h, vse& engine) {
  bool verbose;
  if (!read_flag(kOptVerbose, verbose)) return internal_error(program);
  return send_i32(program, h, engine, QVX_P_EVENT_MASK, verbose ? kVerboseEvents : kQuietEvents,
                  kMsgLabelCallbackEvents);
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
  } lists[] = {{folders, QVX_P_EXCLUDE_FOLDER, kMsgLabelExcludedFolders},
               {files, QVX_P_EXCLUDE_FILE, kMsgLabelExcludedFiles},
               {exts, QVX_P_EXCLUDE_EXT, kMsgLabelExcludedExtensions},
               {includes, QVX_P_INCLUDE_EXT, kMsgLabelIncludedExtensions}};
  for (const auto& list : lists)
    for (const std::string& v : list.values)
      if (!send(program, h, engine, list.property, 0, v.c_str(), v.size(), list.label))
        return false;
  return true;
}

}  // namespace ferrox
