#include "scanner/sysareas/memory_scan.h"

#include <cstdint>
#include <string>

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/sysareas/phase_lines.h"

namespace ferrox {
namespace {

struct memory_scan {
  option_id skip;
  message_id skipping, scanning, label, complete;
  bool advanced;
};

struct process_tool {
  option_id option;
  const char* argument;  // the option's name without "="
  message_id label;
  message_id success;  // 0: no success line
};

const process_tool kTools[] = {
    {kOptDumpProcessList, "--dumpProcessList", 169, 165},
    {kOptScanProcess, "--scanProcess", 164, 0},
    {kOptDumpProcessAndModules, "--dumpProcessAndModulesMemImage", 170, 166},
    {kOptDumpProcessOnly, "--dumpProcessOnlyMemImage", 171, 167},
    {kOptScanProcessHeaps, "--scanProcessHeaps", 168, 0},
    {kOptDumpProcessHeaps, "--dumpProcessHeaps", 173, 172},
};

// False when the phase must end (a failed lookup or a level-3 result).
bool run_memory_scan(vse& engine, engine_handle h, bool verbose, const memory_scan& scan) {
  bool skip = false;
  if (!read_flag(scan.skip, skip)) {
    lookup_failure_line();
    return false;
  }
  if (skip) {
    status_line(verbose, scan.skipping);
    return true;
  }
  status_line(verbose, scan.scanning);
  int32_t one = 1;
  const uint64_t second = scan.advanced ? reinterpret_cast<uint64_t>(&one) : 0;
  const engine_result r = engine.run_command(h, QVX_CMD_SCAN_MEMORY, nullptr, 0, second);
  if (r == 0) {
    status_line(verbose, scan.complete);
    return true;
  }
  return failure_line(scan.label, r) != 3;
}

bool run_tool(vse& engine, engine_handle h, bool verbose, const process_tool& tool) {
  std::string value;
  bool flag = false;
  const bool is_flag = tool.option == kOptDumpProcessList;
  if (is_flag ? !read_flag(tool.option, flag) : !read_string(tool.option, value)) {
    lookup_failure_line();
    return false;
  }
  if (is_flag ? !flag : value.empty()) return true;
  const uint64_t first = is_flag ? 0 : reinterpret_cast<uint64_t>(value.c_str());
  const engine_result r = engine.run_command(h, QVX_CMD_SCAN_MEMORY, tool.argument, first, 0);
  if (r != 0) return failure_line(tool.label, r) != 3;
  if (tool.success != 0) status_line(verbose, tool.success);
  return true;
}

}  // namespace

void scan_memory_and_processes(vse& engine, engine_handle h, bool verbose) {
  bool nomem = false;
  if (!read_flag(kOptNoMem, nomem)) return lookup_failure_line();
  if (nomem) {
    status_line(verbose, 113);
  } else {
    const memory_scan basic{kOptNoBasicMem, 114, 115, 116, 117, false};
    const memory_scan advanced{kOptNoAdvancedMem, 118, 119, 120, 121, true};
    if (!run_memory_scan(engine, h, verbose, basic)) return;
    if (!run_memory_scan(engine, h, verbose, advanced)) return;
  }
  for (const process_tool& tool : kTools)
    if (!run_tool(engine, h, verbose, tool)) return;
}

}  // namespace ferrox
