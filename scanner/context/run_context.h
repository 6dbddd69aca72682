// The run context: what every part of a run reads and writes. run/ makes it once the command
// line has parsed and the output object and engine exist, passes it down every call and hands it
// to the engine as the event callback's context. Every member is safe to use from the scan
// threads: the options are only read, the output object and the sample slot lock themselves,
// and engine calls on different handles may run at once.
#ifndef FERROX_SCANNER_CONTEXT_RUN_CONTEXT_H_
#define FERROX_SCANNER_CONTEXT_RUN_CONTEXT_H_

#include <cstdint>
#include <string>

#include "scanner/cmdline/options.h"
#include "scanner/context/program_lines.h"
#include "scanner/engine/vse.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/message_table.h"
#include "scanner/samples/collect_samples.h"

namespace ferrox {

struct run_context {
  const scan_options& options;
  cli_logging& out;
  vse& engine;
  sample_slot& samples;
  // Lines about the configuration, the engine objects and the update begin with the name the
  // program was started by (argv[0]) ...
  program_lines started_as;
  // ... those of the version queries and the scan phases with the program file's full path.
  program_lines program_file;
  // The run's engine objects; the first is the main thread's.
  engine_object_list objects;

  // `text` as composed, at `level`.
  void log(int32_t level, const std::string& text) const { out.log_message(level, text); }
  // A catalogue message and a line end at level 1, only with --verbose.
  void status(message_id id) const;
};

}  // namespace ferrox

#endif  // FERROX_SCANNER_CONTEXT_RUN_CONTEXT_H_
