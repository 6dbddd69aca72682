#include "scanner/run/exit_code.h"

namespace ferrox {

exit_code scan_exit_code(const std::optional<scan_totals>& totals) {
  if (!totals) return kExitInternal;
  const scan_totals& t = *totals;
  // Unsigned and wrapping, as the engine's counters are: every detected object is accounted for
  // when the deleted ones are what remains after the quarantined and the cleaned.
  if (t.objects_detected - t.objects_quarantined - t.objects_cleaned != t.objects_deleted)
    return kExitDetectionsLeft;
  if (t.objects_quarantined != 0) return kExitObjectsQuarantined;
  if (t.objects_cleaned != 0) return kExitObjectsCleaned;
  if (t.objects_deleted != 0) return kExitObjectsDeleted;
  if (t.objects_failed != 0) return kExitObjectsFailed;
  return kExitClean;
}

}  // namespace ferrox
