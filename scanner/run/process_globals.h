// Values of the running process, set once at start.
#ifndef FERROX_SCANNER_RUN_PROCESS_GLOBALS_H_
#define FERROX_SCANNER_RUN_PROCESS_GLOBALS_H_

#include <cstdint>
#include <string>

namespace ferrox {

// The full file name of the running program; error lines of the scan phases begin with it.
extern std::string program_path;
// Whole seconds since 1970 at the start of the run.
extern int64_t start_time;

}  // namespace ferrox

#endif  // FERROX_SCANNER_RUN_PROCESS_GLOBALS_H_
