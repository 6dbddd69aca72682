// The scanner's run sequence, from start-up to the exit code.
#ifndef FERROX_SCANNER_RUN_RUN_SEQUENCE_H_
#define FERROX_SCANNER_RUN_RUN_SEQUENCE_H_

namespace ferrox {

// Runs the whole sequence and returns the process exit code.
int run_scanner(int argc, const char* const* argv);

// Deletes the process-wide objects in the order sample collector, parameter store, output object,
// message catalogue; a second call does nothing.
void cleanup_globals();

}  // namespace ferrox

#endif  // FERROX_SCANNER_RUN_RUN_SEQUENCE_H_
