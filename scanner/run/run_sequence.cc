#include "scanner/run/run_sequence.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "scanner/cmdline/params.h"
#include "scanner/engine/definitions_location.h"
#include "scanner/engine/vse.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/process.h"
#include "scanner/queries/malware_list.h"
#include "scanner/run/banner.h"
#include "scanner/run/exit_code.h"
#include "scanner/run/process_globals.h"
#include "scanner/samples/collect_samples.h"
#include "scanner/scan/scan_driver.h"
#include "scanner/sysareas/boot_records.h"
#include "scanner/sysareas/memory_scan.h"
#include "scanner/targets/startup_items.h"
#include "scanner/targets/targets.h"
#include "scanner/update/journal.h"
#include "scanner/update/update.h"

namespace ferrox {

std::string program_path;
int64_t start_time = 0;

namespace {

// "<first argument>: <text>" on standard error, before or outside the output object.
void error_line(const std::string& arg0, const std::string& text) {
  const std::string line = arg0 + ": " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void cleanup_at_exit() { cleanup_globals(); }

// The action of a run whose engine objects are open; returns its exit code.
int run_action(const std::string& arg0, vse& engine, engine_object_list& objects, bool verbose,
               bool version, bool update) {
  const engine_handle main_object = objects.front();
  print_version_information(engine, main_object);
  if (version) return kExitClean;
  if (update) return update_definitions(engine, main_object, arg0);
  bool list = false, count = false;
  if (!read_flag(kOptMalwareList, list)) {
    error_line(arg0, msg(kMsgInternalError));
    return kExitInternal;
  }
  if (list) return list_malware(engine, main_object);
  if (!read_flag(kOptMalwareNo, count)) {
    error_line(arg0, msg(kMsgInternalError));
    return kExitInternal;
  }
  if (count) return count_malware(engine, main_object);

  target_list targets;
  if (!collect_targets(targets)) return kExitTargetsFailed;
  scan_memory_and_processes(engine, main_object, verbose);
  scan_boot_records(engine, main_object, verbose);
  scan_boot_sectors(engine, main_object, verbose);
  scan_startup_items(engine, main_object, verbose);
  log_line(1, "\n");
  if (!targets.empty() && !scan_targets(targets, engine, objects)) {
    print_statistics(engine, objects);
    return kExitScanFailed;
  }
  return scan_exit_code(print_statistics(engine, objects));
}

}  // namespace

void cleanup_globals() {
  destroy_sample_collector();
  delete g_params;
  g_params = nullptr;
  delete g_logging;
  g_logging = nullptr;
  delete g_strings;
  g_strings = nullptr;
}

int run_scanner(int argc, const char* const* argv) {
  start_time = wall_clock_seconds();
  const std::string arg0 = (argc > 0 && argv[0]) ? argv[0] : "";

  bool started = module_path(program_path);
  make_console_unbuffered();
  if (started) {
    g_strings = new strings();
    started = g_strings->ready();
  }
  if (!started) {
    error_line(arg0, "Unable to load message file fxmsg.msg");
    delete g_strings;
    g_strings = nullptr;
    return kExitNoMessages;
  }
  std::atexit(cleanup_at_exit);

  print_banner(std::cout);
  g_params = new params(argc, argv);
  if (!g_params->parsed()) {
    if (g_params->help_requested()) g_params->print_usage(std::cout);
    error_line(arg0, msg(kMsgCannotParse));
    cleanup_globals();
    return kExitBadOptions;
  }
  if (g_params->help_requested()) {
    g_params->print_usage(std::cout);
    cleanup_globals();
    return kExitHelp;
  }
  bool verbose, show_settings, update, version;
  if (!g_params->get_flag(kOptVerbose, verbose) ||
      !g_params->get_flag(kOptShowSettings, show_settings) ||
      !g_params->get_flag(kOptUpdate, update) || !g_params->get_flag(kOptVersion, version)) {
    error_line(arg0, msg(kMsgInternalError));
    cleanup_globals();
    return kExitInternal;
  }
  g_logging = new cli_logging();
  if (!g_logging->ready()) {
    error_line(arg0, msg(kMsgLoggingFailed));
    return kExitLogging;
  }
  if (std::ostream* report = g_logging->report_stream()) print_banner(*report);
  if (show_settings) {
    std::ostringstream summary;
    summary << msg(kMsgOptionSummary) << "\n";
    g_params->print_settings(summary);
    summary << "\n";
    log_line(0, summary.str());
  }

  vse engine;
  if (!engine.loaded()) {
    log_line(3, msg(kMsgEngineLoadFailed) + "\n");
    return kExitEngineLoad;
  }
  // An update that was cut short is completed or undone before any definitions are loaded.
  recover_definitions_if_idle(locate_definitions());
  engine_object_list objects;
  int code = 0;
  if (open_engine_objects(arg0, engine, objects)) {
    code = run_action(arg0, engine, objects, verbose, version, update);
  } else if (update && objects.empty() && !version) {
    // The installed definitions do not load: an update is what repairs them.
    code = update_definitions(engine, 0, arg0);
  } else {
    close_engine_objects(engine, objects);
    return kExitEngineObjects;
  }
  close_engine_objects(engine, objects);
  print_scan_time(start_time);
  cleanup_globals();
  return code;
}

}  // namespace ferrox
