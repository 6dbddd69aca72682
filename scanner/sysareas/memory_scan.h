// The memory scans and the six process tools.
#ifndef FERROX_SCANNER_SYSAREAS_MEMORY_SCAN_H_
#define FERROX_SCANNER_SYSAREAS_MEMORY_SCAN_H_

#include "scanner/context/run_context.h"

namespace ferrox {

// Basic and advanced memory scans unless switched off, then the process tools in their fixed
// order. Reports everything itself; never changes the run's exit code.
void scan_memory_and_processes(const run_context& ctx, engine_handle h);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SYSAREAS_MEMORY_SCAN_H_
