#include "scanner/run/banner.h"

#include <sstream>
#include <string>

#include "qorvex.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/process.h"

namespace ferrox {

const char kProgramVersion[] = "6.2.2.1";

void print_banner(std::ostream& out) {
  // Message 5: the system this build runs on.
  out << msg(kMsgTitle) << " " << msg(kMsgSystemLinux) << " " << msg(kMsgVersionWord) << " "
      << kProgramVersion << "\n"
      << std::flush;
  out << msg(kMsgMadeBy) << "\n" << std::flush;
}

namespace {

// Reports a failed version query; false when its level is 3.
bool query_failed(const run_context& ctx, engine_result r) {
  return ctx.program_file.result(kMsgLabelQueryingVersion, r) != 3;
}

bool print_definitions_version(const run_context& ctx, engine_handle h, int32_t index,
                               message_id label) {
  char text[15] = {};  // 14 for the engine, one more so the text always ends
  const engine_result r = ctx.engine.get_property(h, QVX_P_DEFS_VERSION, index, text, 14);
  if (r != 0 && !query_failed(ctx, r)) return false;
  ctx.log(1, msg(label) + " " + std::string(text) + "\n");
  return true;
}

}  // namespace

bool print_version_information(const run_context& ctx, engine_handle h) {
  uint32_t version = 0;
  const engine_result r =
      ctx.engine.get_property(h, QVX_P_ENGINE_VERSION, 0, &version, sizeof version);
  if (r != 0 && !query_failed(ctx, r)) return false;
  ctx.log(1, msg(kMsgEngineVersion) + " " + std::to_string(version >> 24) + "." +
                 std::to_string((version >> 16) & 0xff) + "." + std::to_string(version & 0xffff) +
                 "\n");
  return print_definitions_version(ctx, h, QVX_DEFS_SIGNATURES, kMsgSignaturesVersion) &&
         print_definitions_version(ctx, h, QVX_DEFS_COMPANION, kMsgCompanionVersion);
}

namespace {

struct counter {
  int32_t property;
  uint64_t scan_totals::*total;
};

// The order in which each object's counters are read.
const counter kReadOrder[] = {
    {QVX_P_OBJECTS_PROCESSED, &scan_totals::objects_processed},
    {QVX_P_OBJECTS_DETECTED, &scan_totals::objects_detected},
    {QVX_P_OBJECTS_DELETED, &scan_totals::objects_deleted},
    {QVX_P_OBJECTS_FAILED, &scan_totals::objects_failed},
    {QVX_P_OBJECTS_QUARANTINED, &scan_totals::objects_quarantined},
    {QVX_P_FILES_PROCESSED, &scan_totals::files_processed},
    {QVX_P_OBJECTS_CLEANED, &scan_totals::objects_cleaned},
    {QVX_P_FILES_DISINFECT_FAILED, &scan_totals::files_disinfect_failed},
    {QVX_P_FILES_DELETE_FAILED, &scan_totals::files_delete_failed},
    {QVX_P_FILES_PENDING_DELETE, &scan_totals::files_pending_delete},
    {QVX_P_FILES_QUARANTINE_FAILED, &scan_totals::files_quarantine_failed},
};

struct statistics_line {
  uint64_t scan_totals::*total;
  message_id label, unit;
};

// The lines of the block, in print order.
const statistics_line kPrintOrder[] = {
    {&scan_totals::files_processed, kMsgStatFilesProcessed, kMsgStatFilesProcessedUnit},
    {&scan_totals::objects_processed, kMsgStatObjectsProcessed, kMsgStatObjectsProcessedUnit},
    {&scan_totals::objects_detected, kMsgStatObjectsDetected, kMsgStatObjectsDetectedUnit},
    {&scan_totals::objects_deleted, kMsgStatObjectsDeleted, kMsgStatObjectsDeletedUnit},
    {&scan_totals::objects_failed, kMsgStatObjectsFailed, kMsgStatObjectsFailedUnit},
    {&scan_totals::objects_quarantined, kMsgStatObjectsQuarantined, kMsgStatObjectsQuarantinedUnit},
    {&scan_totals::objects_cleaned, kMsgStatObjectsCleaned, kMsgStatObjectsCleanedUnit},
    {&scan_totals::files_disinfect_failed, kMsgStatDisinfectFailed, kMsgStatDisinfectFailedUnit},
    {&scan_totals::files_delete_failed, kMsgStatDeleteFailed, kMsgStatDeleteFailedUnit},
    {&scan_totals::files_pending_delete, kMsgStatPendingDelete, kMsgStatPendingDeleteUnit},
    {&scan_totals::files_quarantine_failed, kMsgStatQuarantineFailed, kMsgStatQuarantineFailedUnit},
};

}  // namespace

std::optional<scan_totals> print_statistics(const run_context& ctx) {
  scan_totals totals;
  for (engine_handle h : ctx.objects) {
    for (const counter& c : kReadOrder) {
      uint64_t value = 0;
      if (ctx.engine.get_property(h, c.property, 0, &value, sizeof value) < 0) {
        ctx.log(3, msg(kMsgInternalError) + "\n");
        return std::nullopt;
      }
      totals.*c.total += value;
    }
  }
  // Built by appending: GCC 12 at -O3 wrongly reports an overlapping copy for "\n" +
  // msg(kMsgStatistics).
  std::string block = "\n";
  block += msg(kMsgStatistics);
  for (const statistics_line& l : kPrintOrder)
    block += msg(l.label) + " " + std::to_string(static_cast<int64_t>(totals.*l.total)) + " " +
             msg(l.unit) + "\n";
  ctx.log(1, block);
  return totals;
}

void print_scan_time(const run_context& ctx, int64_t start) {
  const double seconds = static_cast<double>(wall_clock_seconds() - start);
  std::ostringstream line;
  line << "\n"
       << msg(kMsgScanningTime) << " " << static_cast<float>(seconds) << " " << msg(kMsgSeconds)
       << "\n";
  ctx.log(1, line.str());
}

}  // namespace ferrox
