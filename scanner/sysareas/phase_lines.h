// The three kinds of line the system-area phases write.
#ifndef FERROX_SCANNER_SYSAREAS_PHASE_LINES_H_
#define FERROX_SCANNER_SYSAREAS_PHASE_LINES_H_

#include <cstdint>

#include "scanner/engine/vse.h"
#include "scanner/messages/message_table.h"

namespace ferrox {

// A catalogue message and a line end at level 1, only with --verbose.
void status_line(bool verbose, message_id id);
// "<program path>: <label> <result text>" at the result's level; returns that level.
int32_t failure_line(message_id label, engine_result result);
// The internal-error line at level 3 (a failed option lookup).
void lookup_failure_line();

}  // namespace ferrox

#endif  // FERROX_SCANNER_SYSAREAS_PHASE_LINES_H_
