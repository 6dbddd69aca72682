// The running program and the clock.
#ifndef FERROX_SCANNER_PLATFORM_PROCESS_H_
#define FERROX_SCANNER_PLATFORM_PROCESS_H_

#include <cstdint>
#include <string>

namespace ferrox {

// The full path of the running program file (the /proc/self/exe link). False when it cannot be
// read or is 10,240 bytes or longer. A program file deleted while running keeps its " (deleted)"
// suffix only when a file of that name really exists.
bool module_path(std::string& out);

// Whole seconds since 1970.
int64_t wall_clock_seconds();

// Makes standard output and standard error unbuffered.
void make_console_unbuffered();

// The folder for temporary files: $TMPDIR when absolute and a folder, else /tmp.
std::string temp_folder();

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_PROCESS_H_
