// The process exit codes, and the one rule that turns a scan's totals into one.
#ifndef FERROX_SCANNER_RUN_EXIT_CODE_H_
#define FERROX_SCANNER_RUN_EXIT_CODE_H_

#include <cstdint>
#include <optional>

namespace ferrox {

enum exit_code : int {
  // A completed scan (or a version run): the highest code whose condition holds.
  kExitClean = 0,
  kExitObjectsFailed = 1,
  kExitObjectsDeleted = 2,
  kExitObjectsCleaned = 3,
  kExitObjectsQuarantined = 4,
  kExitDetectionsLeft = 5,  // some detected object was neither deleted, cleaned nor quarantined
  // A run that stopped early.
  kExitScanFailed = 246,     // a target ended in a level-3 result (statistics still printed)
  kExitTargetsFailed = 248,  // the target list could not be made
  kExitEngineObjects = 249,
  kExitEngineLoad = 250,
  kExitLogging = 251,
  kExitInternal = 252,
  kExitHelp = 253,
  kExitBadOptions = 254,
  kExitNoMessages = 255,
};

// The engine's counters summed over all engine objects of a run.
struct scan_totals {
  uint64_t files_processed = 0;
  uint64_t objects_processed = 0;
  uint64_t objects_detected = 0;
  uint64_t objects_deleted = 0;
  uint64_t objects_failed = 0;
  uint64_t objects_quarantined = 0;
  uint64_t objects_cleaned = 0;
  uint64_t files_disinfect_failed = 0;
  uint64_t files_delete_failed = 0;
  uint64_t files_pending_delete = 0;
  uint64_t files_quarantine_failed = 0;
};

// The exit code of a completed scan; kExitInternal when its totals could not be read.
exit_code scan_exit_code(const std::optional<scan_totals>& totals);

}  // namespace ferrox

#endif  // FERROX_SCANNER_RUN_EXIT_CODE_H_
