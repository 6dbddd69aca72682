#include "scanner/run/exit_code.h"

#include <gtest/gtest.h>

#include <limits>

namespace ferrox {
namespace {

TEST(ScanExitCode, HighestHoldingConditionWins) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const struct {
    const char* what;
    scan_totals totals;
    exit_code want;
  } cases[] = {
      {"nothing found", {.files_processed = 3, .objects_processed = 5}, kExitClean},
      {"a failed object", {.objects_failed = 1}, kExitObjectsFailed},
      {"deleted beats failed",
       {.objects_detected = 1, .objects_deleted = 1, .objects_failed = 2},
       kExitObjectsDeleted},
      {"cleaned", {.objects_detected = 2, .objects_cleaned = 2}, kExitObjectsCleaned},
      {"quarantined beats cleaned and deleted",
       {.objects_detected = 3,
        .objects_deleted = 1,
        .objects_quarantined = 1,
        .objects_cleaned = 1},
       kExitObjectsQuarantined},
      {"a detection left as it was",
       {.objects_detected = 2, .objects_quarantined = 1},
       kExitDetectionsLeft},
      {"a detection only reported", {.objects_detected = 1}, kExitDetectionsLeft},
      // Counters from a misbehaving engine: the sum wraps, as unsigned arithmetic does.
      {"more quarantined than detected",
       {.objects_deleted = kMax, .objects_quarantined = 1},
       kExitObjectsQuarantined},
      {"more cleaned than detected, nothing deleted", {.objects_cleaned = 1}, kExitDetectionsLeft},
  };
  for (const auto& c : cases) EXPECT_EQ(scan_exit_code(c.totals), c.want) << c.what;
}

TEST(ScanExitCode, UnreadableTotalsAreAnInternalError) {
  EXPECT_EQ(scan_exit_code(std::nullopt), kExitInternal);
}

}  // namespace
}  // namespace ferrox
