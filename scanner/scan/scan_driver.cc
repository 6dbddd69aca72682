#include "scanner/scan/scan_driver.h"

#include <omp.h>

#include <cctype>

#include "qorvex.h"
#include "scanner/engine/definitions_location.h"
#include "scanner/messages/strings.h"
#include "scanner/scan/event_callback.h"
#include "scanner/scan/scan_settings.h"

namespace ferrox {

int32_t object_type_for(const std::string& deftype) {
  std::string upper;
  for (char c : deftype) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "ANDROID") return QVX_TYPE_ANDROID;
  if (upper == "V2") return QVX_TYPE_V2;
  if (upper == "V2S") return QVX_TYPE_V2S;
  if (upper == "ZIP") return QVX_TYPE_ZIP;
  return QVX_TYPE_V1;
}

void report_open_failure(const program_lines& lines, engine_result result) {
  if (result == QVX_R_INVALID_DATA)
    lines.line(3, msg(kMsgLabelInitializingEngine) + " " + msg(kMsgDefinitionsFailed));
  else
    lines.result(kMsgLabelInitializingEngine, result);
}

bool configure_engine_object(const run_context& ctx, engine_handle h) {
  if (!apply_scan_settings(ctx, h) || !apply_memory_limit(ctx, h) || !apply_event_mask(ctx, h) ||
      !apply_exclusions(ctx, h))
    return false;
  if (ctx.samples.create(ctx.options.collect_samples)) return true;
  ctx.started_as.line(3, msg(kMsgSampleArchiveFailed));
  return false;
}

bool open_engine_objects(run_context& ctx) {
  const int32_t type = object_type_for(ctx.options.deftype);
  const std::string definitions = locate_definitions(ctx.options.deflocation);
  engine_handle first_handle = 0;
  const engine_result first =
      ctx.engine.create_object(type, definitions, scan_event_callback, &ctx, first_handle);
  if (first == QVX_R_SUCCESS) {
    ctx.objects.push_back(first_handle);
#pragma omp parallel
    {
      engine_handle h = 0;
      const engine_result r =
          ctx.engine.create_object(type, definitions, scan_event_callback, &ctx, h);
      if (r == QVX_R_SUCCESS) {
#pragma omp critical(handle_lock)
        ctx.objects.push_back(h);
      } else {
        report_open_failure(ctx.started_as, r);
      }
    }
  } else {
    report_open_failure(ctx.started_as, first);
  }

  bool status = true;
  const long count = static_cast<long>(ctx.objects.size());
#pragma omp parallel for schedule(static) shared(status)
  for (long i = 0; i < count; ++i) {
    bool go;
#pragma omp atomic read
    go = status;
    if (go && !configure_engine_object(ctx, ctx.objects[static_cast<std::size_t>(i)])) {
#pragma omp atomic write
      status = false;
    }
  }
  if (!status) return false;
  if (!ctx.objects.empty()) return true;
  ctx.started_as.result(kMsgLabelInitializingEngine, first);
  return false;
}

void close_engine_objects(run_context& ctx) {
  for (engine_handle h : ctx.objects) ctx.engine.close_object(h);
  ctx.objects.clear();
}

}  // namespace ferrox
