// The startup items scan of --startup.
#ifndef FERROX_SCANNER_SYSAREAS_STARTUP_ITEMS_H_
#define FERROX_SCANNER_SYSAREAS_STARTUP_ITEMS_H_

#include "scanner/context/run_context.h"

namespace ferrox {

// Only with --startup: asks the engine to scan the startup locations; reports a failed request.
void scan_startup_items(const run_context& ctx, engine_handle h);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SYSAREAS_STARTUP_ITEMS_H_
