// The scanner's run sequence, from start-up to the exit code.
#ifndef FERROX_SCANNER_RUN_RUN_SEQUENCE_H_
#define FERROX_SCANNER_RUN_RUN_SEQUENCE_H_

namespace ferrox {

// Runs the whole sequence and returns the process exit code.
int run_scanner(int argc, const char* const* argv);

}  // namespace ferrox

#endif  // FERROX_SCANNER_RUN_RUN_SEQUENCE_H_
