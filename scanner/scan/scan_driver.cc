#include "scanner/scan/scan_driver.h"

#include <omp.h>

#include <cctype>
#include <cstdio>
#include <sstream>

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/engine/definitions_location.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/samples/collect_samples.h"
#include "scanner/scan/event_callback.h"
#include "scanner/scan/scan_settings.h"

namespace ferrox {
namespace {

void write_internal_error(const std::string& program) {
  const std::string line = program + ": " + msg(kMsgInternalError) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace

int32_t object_type_for(const std::string& deftype) {
  std::string upper;
  for (char c : deftype) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "ANDROID") return QVX_TYPE_ANDROID;
  if (upper == "V2") return QVX_TYPE_V2;
  if (upper == "V2S") return QVX_TYPE_V2S;
  if (upper == "ZIP") return QVX_TYPE_ZIP;
  return QVX_TYPE_V1;
}

void report_open_failure(const std::string& program, engine_result result) {
  std::ostringstream line;
  line << program << ": " << msg(kMsgLabelInitializingEngine) << " ";
  int32_t level = 3;
  if (result == QVX_R_INVALID_DATA)
    line << msg(kMsgDefinitionsFailed);
  else
    level = describe_result(result, line);
  line << "\n";
  log_line(level, line.str());
}

bool configure_engine_object(const std::string& program, engine_handle h, vse& engine) {
  return apply_scan_settings(program, h, engine) && apply_memory_limit(program, h, engine) &&
         apply_event_mask(program, h, engine) && apply_exclusions(program, h, engine) &&
         create_sample_archive(program);
}

bool open_engine_objects(const std::string& program, vse& engine, engine_object_list& objects) {
  std::string deftype;
  if (!engine.loaded() || !read_string(kOptDefType, deftype)) {
    write_internal_error(program);
    return false;
  }
  const int32_t type = object_type_for(deftype);
  engine_handle first_handle = 0;
  const engine_result first =
      engine.create_object(type, locate_definitions(), scan_event_callback, &engine, first_handle);
  if (first == QVX_R_SUCCESS) {
    objects.push_back(first_handle);
#pragma omp parallel
    {
      engine_handle h = 0;
      const engine_result r =
          engine.create_object(type, locate_definitions(), scan_event_callback, &engine, h);
      if (r == QVX_R_SUCCESS) {
#pragma omp critical(handle_lock)
        objects.push_back(h);
      } else {
        report_open_failure(program, r);
      }
    }
  } else {
    report_open_failure(program, first);
  }

  bool status = true;
  const long count = static_cast<long>(objects.size());
#pragma omp parallel for schedule(static) shared(status)
  for (long i = 0; i < count; ++i) {
    bool go;
#pragma omp atomic read
    go = status;
    if (go && !configure_engine_object(program, objects[static_cast<std::size_t>(i)], engine)) {
#pragma omp atomic write
      status = false;
    }
  }
  if (!status) return false;
  if (!objects.empty()) return true;

  std::ostringstream line;
  line << program << ": " << msg(kMsgLabelInitializingEngine) << " ";
  const int32_t level = describe_result(first, line);
  line << "\n";
  log_line(level, line.str());
  return false;
}

void close_engine_objects(vse& engine, engine_object_list& objects) {
  for (engine_handle h : objects) engine.close_object(h);
  objects.clear();
}

}  // namespace ferrox
