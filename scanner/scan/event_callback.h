// The engine's event callback and the lines it prints.
#ifndef FERROX_SCANNER_SCAN_EVENT_CALLBACK_H_
#define FERROX_SCANNER_SCAN_EVENT_CALLBACK_H_

#include <cstdint>

#include "scanner/context/run_context.h"

namespace ferrox {

// Called by the engine on the thread of the engine call, with the run context as `context`. One
// event is dispatched at a time (callback_lock). Returns 1 for a reported detection when
// --disinfect is set, 0 otherwise. Never throws.
int32_t scan_event_callback(engine_handle object, int32_t event, void* context);

// Event 16: the "Found: " line (or the engine's own report text at level 3).
int32_t report_detection(const run_context& ctx, engine_handle object);
// Event 32: the status line of a scanned object.
void report_object_status(const run_context& ctx, engine_handle object);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SCAN_EVENT_CALLBACK_H_
