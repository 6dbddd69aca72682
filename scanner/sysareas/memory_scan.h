// The memory scans and the six process tools.
#ifndef FERROX_SCANNER_SYSAREAS_MEMORY_SCAN_H_
#define FERROX_SCANNER_SYSAREAS_MEMORY_SCAN_H_

#include "scanner/engine/vse.h"

namespace ferrox {

// Basic and advanced memory scans unless switched off, then the process tools in their fixed
// order. Reports everything itself; never changes the run's exit code.
void scan_memory_and_processes(vse& engine, engine_handle h, bool verbose);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SYSAREAS_MEMORY_SCAN_H_
