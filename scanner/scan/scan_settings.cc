#include "scanner/scan/scan_settings.h"

#include <cstdlib>
#include <limits>
#include <vector>

#include "qorvex.h"
#include "scanner/messages/strings.h"

namespace ferrox {
namespace {

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
  if (o.heur_high) return 4;
  if (o.heur_med) return 3;
  if (o.heur_low) return 1;
  if (o.no_heur) return 0;
  return -1;
}

int32_t macro_mode_of(const scan_options& o) {
  if (o.macro_remove_variants) return 2;
  if (o.macro_remove_all) return 1;
  return 0;
}

int32_t flags_of(const scan_options& o) {
  int32_t flags = 2;
  if (o.no_white) flags += 256;
  if (o.apk_quick) flags += 512;
  if (!o.no_recurse) flags += 8;
  if (o.follow) flags += 16;
  if (o.ads) flags += 32;
  return flags;
}

// Quarantine wins over disinfection, which wins over the two deletions.
int32_t action_of(const scan_options& o) {
  if (o.quarantine) return 4;
  if (o.disinfect) return 1;
  if (o.remove) return 2;
  if (o.force_delete) return 3;
  return 0;
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
    ctx.started_as.line(3, msg(30));
    return false;
  }
  const engine_settings s = engine_settings_for(ctx.options);
  if (!send_i32(ctx, h, QVX_P_HEURISTICS, s.heuristics, 102)) return false;
  if (!send_i32(ctx, h, QVX_P_MACRO_MODE, s.macro_mode, 102)) return false;
  if (!send_i32(ctx, h, QVX_P_SCAN_FLAGS, s.flags, 102)) return false;
  if (!send_i32(ctx, h, QVX_P_ACTION, s.action, s.action == 4 ? 155 : 102)) return false;
  if (!send_i32(ctx, h, QVX_P_ARCHIVE_DEPTH, s.archive_depth, 27)) return false;
  if (s.hide_unwanted) {
    const uint64_t hidden = 12;  // adware and applications
    if (!send(ctx, h, QVX_P_HIDDEN_KINDS, &hidden, sizeof hidden, 10)) return false;
  }
  return true;
}

bool apply_memory_limit(const run_context& ctx, engine_handle h) {
  const uint32_t bytes = memory_limit_bytes(ctx.options.limit_memory);
  if (bytes == 0) return true;
  if (ctx.engine.set_property(h, QVX_P_LIMITS, 6, &bytes, sizeof bytes) < 0) {
    ctx.started_as.internal_error();
    return false;
  }
  return true;
}

bool apply_event_mask(const run_context& ctx, engine_handle h) {
  return send_i32(ctx, h, QVX_P_EVENT_MASK, ctx.options.verbose ? 1011 : 560, 101);
}

bool apply_exclusions(const run_context& ctx, engine_handle h) {
  const scan_options& o = ctx.options;
  const struct {
    const std::vector<std::string>& values;
    int32_t property;
    message_id label;
  } lists[] = {{o.exclude_folders, QVX_P_EXCLUDE_FOLDER, 104},
               {o.exclude_files, QVX_P_EXCLUDE_FILE, 105},
               {o.exclude_exts, QVX_P_EXCLUDE_EXT, 106},
               {o.include_exts, QVX_P_INCLUDE_EXT, 107}};
  for (const auto& list : lists)
    for (const std::string& v : list.values)
      if (!send(ctx, h, list.property, v.c_str(), v.size(), list.label)) return false;
  return true;
}

}  // namespace ferrox
