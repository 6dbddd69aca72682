// The process-wide owners: message catalogue, parsed options, output object, sample collector.
// Only run/ sees them; every other folder gets what it needs through the run context.
#ifndef FERROX_SCANNER_RUN_PROCESS_OWNERS_H_
#define FERROX_SCANNER_RUN_PROCESS_OWNERS_H_

#include <memory>

#include "scanner/cmdline/options.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/samples/collect_samples.h"

namespace ferrox {

struct process_owners {
  std::unique_ptr<strings> catalogue;  // installed for msg() while it exists
  std::unique_ptr<scan_options> options;
  std::unique_ptr<cli_logging> output;
  sample_slot samples;
};

// The owners of this process.
process_owners& owners();

// Deletes the owners in the order sample collector, options, output object, message catalogue;
// a second call does nothing. Also registered to run at exit.
void release_owners();

}  // namespace ferrox

#endif  // FERROX_SCANNER_RUN_PROCESS_OWNERS_H_
