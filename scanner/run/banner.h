// The fixed pieces of output: banner, version information, statistics and scanning time.
#ifndef FERROX_SCANNER_RUN_BANNER_H_
#define FERROX_SCANNER_RUN_BANNER_H_

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "scanner/context/run_context.h"
#include "scanner/run/exit_code.h"

namespace ferrox {

extern const char kProgramVersion[];

// The two banner lines, written straight to `out`.
void print_banner(std::ostream& out);
// The engine and definition-file versions, three lines at level 1. False when a query failed at
// level 3 and the remaining lines were not written.
bool print_version_information(const run_context& ctx, engine_handle h);

// Sums the eleven counters over all objects of the run and prints the statistics block; when a
// counter cannot be read, prints the internal-error line instead and returns nothing.
std::optional<scan_totals> print_statistics(const run_context& ctx);
// "Scanning time:  <seconds> second(s)" measured from `start`.
void print_scan_time(const run_context& ctx, int64_t start);

}  // namespace ferrox

#endif  // FERROX_SCANNER_RUN_BANNER_H_
