// The startup items scan of --startup.
#ifndef FERROX_SCANNER_TARGETS_STARTUP_ITEMS_H_
#define FERROX_SCANNER_TARGETS_STARTUP_ITEMS_H_

#include "scanner/engine/vse.h"

namespace ferrox {

// Only with --startup: asks the engine to scan the startup locations; reports a failed request.
void scan_startup_items(vse& engine, engine_handle h, bool verbose);

}  // namespace ferrox

#endif  // FERROX_SCANNER_TARGETS_STARTUP_ITEMS_H_
