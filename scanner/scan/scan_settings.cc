#include "scanner/scan/scan_settings.h"

#include <cstdlib>
#include <limits>
#include <vector>

#include "qorvex.h"
#include "scanner/messages/strings.h"

namespace ferrox {
namespace {

// Detections, statuses and actions always; a verbose run also follows every object.
constexpr int32_t kQuietEvents = QVX_EV_DETECTION | QVX_EV_STATUS | QVX_EV_ACTION;
constexpr int32_t kVerboseEvents =
    kQuietEvents | QVX_EV_OPEN | QVX_EV_SCANNING | QVX_EV_CLOSE | QVX_EV_NAMES | QVX_EV_PROGRESS;

// Sends one value; on refusal prints the line and tells whether the step may go on.
bool send(const run_context& ctx, engine_handle h, int32_t property, const void* value,
          uint64_t size, message_id label) {
  const engine_result r = ctx.engine.set_property(h, property, 0, value, size);
  return r == 0 || ctx.started_as.result(label, r) != 3;
}

bool send_i32(const run_context& ctx, engine_handle h, int32_t property, int32_t value,
              message_id label) {
  return send(ctx, h, property, &value, sizeof value, label);
}

int64_t clamp_to_i32(long long v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return v;
}

// The highest level asked for wins; the conflict check runs before any of this is sent.
int32_t heuristics_of(const scan_options& o) {
  if (o.heur_high) return QVX_HEUR_HIGH;
  if (o.heur_med) return QVX_HEUR_MEDIUM;
  if (o.heur_low) return QVX_HEUR_LOW;
  if (o.no_heur) return QVX_HEUR_OFF;
  return QVX_HEUR_DEFAULT;
}

int32_t macro_mode_of(const scan_options& o) {
  if (o.macro_remove_variants) return QVX_MACRO_REMOVE_VARIANTS;
  if (o.macro_remove_all) return QVX_MACRO_REMOVE_ALL;
  return QVX_MACRO_KEEP;
}

int32_t flags_of(const scan_options& o) {
  int32_t flags = QVX_FLAG_STANDARD;
  if (o.no_white) flags |= QVX_FLAG_NO_ALLOW_LIST;
  if (o.apk_quick) flags |= QVX_FLAG_APK_QUICK;
  if (!o.no_recurse) flags |= QVX_FLAG_RECURSE;
  if (o.follow) flags |= QVX_FLAG_FOLLOW_LINKS;
  if (o.ads) flags |= QVX_FLAG_EXTENDED_ATTRIBUTES;
  return flags;
}

// Quarantine wins over disinfection, which wins over the two deletions.
int32_t action_of(const scan_options& o) {
  if (o.quarantine) return QVX_ACTION_QUARANTINE;
  if (o.disinfect) return QVX_ACTION_DISINFECT;
  if (o.remove) return QVX_ACTION_DELETE;
  if (o.force_delete) return QVX_ACTION_FORCE_DELETE;
  return QVX_ACTION_NONE;
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

engine_settings engine_settings_for(const scan_options& o) {
  return {heuristics_of(o),
          macro_mode_of(o),
          flags_of(o),
          action_of(o),
          o.no_archive ? 0 : parse_archive_depth(o.archive),
          !o.pua};
}

bool heuristics_conflict(const scan_options& o) {
  return int(o.no_heur) + int(o.heur_low) + int(o.heur_med) + int(o.heur_high) > 1;
}

bool apply_scan_settings(const run_context& ctx, engine_handle h) {
  if (heuristics_conflict(ctx.options)) {
    ctx.started_as.line(3, msg(kMsgHeuristicsConflict));
    return false;
  }
  const engine_settings s = engine_settings_for(ctx.options);
  const message_id mode = kMsgLabelScanningMode;
  const message_id action_label =
      s.action == QVX_ACTION_QUARANTINE ? kMsgQuarantineInitFailed : mode;
  if (!send_i32(ctx, h, QVX_P_HEURISTICS, s.heuristics, mode)) return false;
  if (!send_i32(ctx, h, QVX_P_MACRO_MODE, s.macro_mode, mode)) return false;
  if (!send_i32(ctx, h, QVX_P_SCAN_FLAGS, s.flags, mode)) return false;
  if (!send_i32(ctx, h, QVX_P_ACTION, s.action, action_label)) return false;
  if (!send_i32(ctx, h, QVX_P_ARCHIVE_DEPTH, s.archive_depth, kMsgArchiveDepthInvalid))
    return false;
  if (s.hide_unwanted) {
    const uint64_t hidden = uint64_t{1} << QVX_KIND_ADWARE | uint64_t{1} << QVX_KIND_APPLICATION;
    if (!send(ctx, h, QVX_P_HIDDEN_KINDS, &hidden, sizeof hidden, kMsgInternalError)) return false;
  }
  return true;
}

bool apply_memory_limit(const run_context& ctx, engine_handle h) {
  const uint32_t bytes = memory_limit_bytes(ctx.options.limit_memory);
  if (bytes == 0) return true;
  if (ctx.engine.set_property(h, QVX_P_LIMITS, QVX_LIMIT_MEMBER_BYTES, &bytes, sizeof bytes) < 0) {
    ctx.started_as.internal_error();
    return false;
  }
  return true;
}

bool apply_event_mask(const run_context& ctx, engine_handle h) {
  return send_i32(ctx, h, QVX_P_EVENT_MASK, ctx.options.verbose ? kVerboseEvents : kQuietEvents,
                  kMsgLabelCallbackEvents);
}

bool apply_exclusions(const run_context& ctx, engine_handle h) {
  const scan_options& o = ctx.options;
  const struct {
    const std::vector<std::string>& values;
    int32_t property;
    message_id label;
  } lists[] = {{o.exclude_folders, QVX_P_EXCLUDE_FOLDER, kMsgLabelExcludedFolders},
               {o.exclude_files, QVX_P_EXCLUDE_FILE, kMsgLabelExcludedFiles},
               {o.exclude_exts, QVX_P_EXCLUDE_EXT, kMsgLabelExcludedExtensions},
               {o.include_exts, QVX_P_INCLUDE_EXT, kMsgLabelIncludedExtensions}};
  for (const auto& list : lists)
    for (const std::string& v : list.values)
      if (!send(ctx, h, list.property, v.c_str(), v.size(), list.label)) return false;
  return true;
}

}  // namespace ferrox
