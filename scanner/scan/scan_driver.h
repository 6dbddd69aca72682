// Opening, configuring and closing the engine objects of a run.
#ifndef FERROX_SCANNER_SCAN_SCAN_DRIVER_H_
#define FERROX_SCANNER_SCAN_SCAN_DRIVER_H_

#include <string>

#include "scanner/context/run_context.h"

namespace ferrox {

// The object type for a --deftype= value (any case): ANDROID 10, V2 14, V2S 18, ZIP 6, else 2.
int32_t object_type_for(const std::string& deftype);

// Creates one object on the main thread (index 0 of ctx.objects) and one on every thread of an
// OpenMP region, each with the run context as the event callback's context, then configures all
// of them in a second region. True when at least one object exists and every configuration step
// succeeded. On false the list may still hold objects: close them.
bool open_engine_objects(run_context& ctx);

// Runs the configuration chain on one object; false at the first failing step.
bool configure_engine_object(const run_context& ctx, engine_handle h);

// Closes every object in index order and empties the list.
void close_engine_objects(run_context& ctx);

// "<program>: Initializing Scan Engine: <reason>", the reason by the creation result.
void report_open_failure(const program_lines& lines, engine_result result);

}  // namespace ferrox

#endif  // FERROX_SCANNER_SCAN_SCAN_DRIVER_H_
