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
  out << msg(1) << " " << msg(5) << " " << msg(2) << " " << kProgramVersion << "\n" << std::flush;
  out << msg(3) << "\n" << std::flush;
}

namespace {

// Reports a failed version query; false when its level is 3.
bool query_failed(const run_context& ctx, engine_result r) {
  return ctx.program_file.result(112, r) != 3;
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
  ctx.log(1, msg(108) + " " + std::to_string(version >> 24) + "." +
                 std::to_string((version >> 16) & 0xff) + "." + std::to_string(version & 0xffff) +
                 "\n");
  return print_definitions_version(ctx, h, 0, 110) && print_definitions_version(ctx, h, 1, 154);
}

int32_t print_statistics(const run_context& ctx) {
  struct row {
    int32_t property;
    message_id label, unit;
  };
  // In print order.
  static const row kRows[] = {{41, 156, 157}, {22, 134, 135}, {23, 136, 137}, {24, 138, 139},
                              {25, 140, 141}, {43, 142, 143}, {26, 144, 145}, {44, 158, 159},
                              {45, 160, 161}, {46, 162, 163}, {47, 174, 175}};
  static const int kReadOrder[] = {1, 2, 3, 4, 5, 0, 6, 7, 8, 9, 10};  // 22 23 24 25 43 41 26 ...
  uint64_t sums[11] = {};
  for (engine_handle h : ctx.objects) {
    for (int i : kReadOrder) {
      uint64_t value = 0;
      if (ctx.engine.get_property(h, kRows[i].property, 0, &value, sizeof value) < 0) {
        ctx.log(3, msg(10) + "\n");
        return 252;
      }
      sums[i] += value;
    }
  }
  // Built by appending: GCC 12 at -O3 wrongly reports an overlapping copy for "\n" + msg(133).
  std::string block = "\n";
  block += msg(133);
  for (int i = 0; i < 11; ++i)
    block += msg(kRows[i].label) + " " + std::to_string(static_cast<int64_t>(sums[i])) + " " +
             msg(kRows[i].unit) + "\n";
  const uint64_t detected = sums[2], deleted = sums[3], failed = sums[4], quarantined = sums[5],
                 cleaned = sums[6];
  int32_t code = 0;
  if (failed != 0) code = 1;
  if (deleted != 0) code = 2;
  if (cleaned != 0) code = 3;
  if (quarantined != 0) code = 4;
  if (detected - quarantined - cleaned != deleted) code = 5;
  ctx.log(1, block);
  return code;
}

void print_scan_time(const run_context& ctx, int64_t start) {
  const double seconds = static_cast<double>(wall_clock_seconds() - start);
  std::ostringstream line;
  line << "\n" << msg(152) << " " << static_cast<float>(seconds) << " " << msg(153) << "\n";
  ctx.log(1, line.str());
}

}  // namespace ferrox
