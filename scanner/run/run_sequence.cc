#include "scanner/run/run_sequence.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "scanner/cmdline/command_line.h"
#include "scanner/context/run_context.h"
#include "scanner/engine/definitions_location.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/process.h"
#include "scanner/queries/malware_list.h"
#include "scanner/run/banner.h"
#include "scanner/run/exit_code.h"
#include "scanner/run/process_owners.h"
#include "scanner/scan/scan_driver.h"
#include "scanner/sysareas/boot_records.h"
#include "scanner/sysareas/memory_scan.h"
#include "scanner/sysareas/startup_items.h"
#include "scanner/targets/targets.h"
#include "scanner/update/journal.h"
#include "scanner/update/update.h"

namespace ferrox {
namespace {

void release_owners_at_exit() { release_owners(); }

// The action of a run whose engine objects are open; returns its exit code.
int run_action(run_context& ctx) {
  const scan_options& options = ctx.options;
  const engine_handle main_object = ctx.objects.front();
  print_version_information(ctx, main_object);
  if (options.version) return kExitClean;
  if (options.update) return update_definitions(ctx, main_object);
  if (options.malware_list) return list_malware(ctx, main_object);
  if (options.malware_count) return count_malware(ctx, main_object);

  target_list targets;
  if (!collect_targets(options, targets)) return kExitTargetsFailed;
  scan_memory_and_processes(ctx, main_object);
  scan_boot_records(ctx, main_object);
  scan_boot_sectors(ctx, main_object);
  scan_startup_items(ctx, main_object);
  ctx.log(1, "\n");
  if (!targets.empty() && !scan_targets(ctx, targets)) {
    print_statistics(ctx);
    return kExitScanFailed;
  }
  return scan_exit_code(print_statistics(ctx));
}

}  // namespace

int run_scanner(int argc, const char* const* argv) {
  const int64_t start_time = wall_clock_seconds();
  const std::string arg0 = (argc > 0 && argv[0]) ? argv[0] : "";
  // Lines written before the output object exists go straight to standard error.
  const program_lines early_lines(nullptr, arg0);
  process_owners& own = owners();

  std::string program_path;
  bool started = module_path(program_path);
  make_console_unbuffered();
  if (started) {
    own.catalogue = std::make_unique<strings>();
    started = own.catalogue->ready();
  }
  if (!started) {
    early_lines.line(3, "Unable to load message file fxmsg.msg");
    own.catalogue.reset();
    return kExitNoMessages;
  }
  install_catalogue(own.catalogue.get());
  std::atexit(release_owners_at_exit);

  print_banner(std::cout);
  parsed_command_line parsed = parse_command_line(argc, argv, *own.catalogue);
  if (!parsed.ok) {
    if (parsed.usage) print_usage(std::cout, *own.catalogue);
    early_lines.line(3, msg(kMsgCannotParse));
    release_owners();
    return kExitBadOptions;
  }
  if (parsed.usage) {
    print_usage(std::cout, *own.catalogue);
    release_owners();
    return kExitHelp;
  }
  own.options = std::make_unique<scan_options>(std::move(parsed.options));
  const scan_options& options = *own.options;

  own.output = std::make_unique<cli_logging>(
      output_settings{options.report, options.append, options.syslog, options.verbose});
  if (!own.output->ready()) {
    early_lines.line(3, msg(kMsgLoggingFailed));
    return kExitLogging;
  }
  cli_logging& out = *own.output;
  if (std::ostream* report = out.report_stream()) print_banner(*report);
  if (options.show_settings) {
    std::ostringstream summary;
    summary << msg(kMsgOptionSummary) << "\n";
    print_settings(options, summary, *own.catalogue);
    summary << "\n";
    out.log_message(0, summary.str());
  }

  vse engine(engine_start::load);
  if (!engine.loaded()) {
    out.log_message(3, msg(kMsgEngineLoadFailed) + "\n");
    return kExitEngineLoad;
  }
  run_context ctx{options,
                  out,
                  engine,
                  own.samples,
                  program_lines(&out, arg0),
                  program_lines(&out, program_path),
                  {}};
  // An update that was cut short is completed or undone before any definitions are loaded.
  recover_definitions_if_idle(locate_definitions(options.deflocation));
  int code = 0;
  if (open_engine_objects(ctx)) {
    code = run_action(ctx);
  } else if (options.update && ctx.objects.empty() && !options.version) {
    // The installed definitions do not load: an update is what repairs them.
    code = update_definitions(ctx, 0);
  } else {
    close_engine_objects(ctx);
    return kExitEngineObjects;
  }
  close_engine_objects(ctx);
  print_scan_time(ctx, start_time);
  release_owners();
  return code;
}

}  // namespace ferrox
