#include "scanner/sysareas/memory_scan.h"

#include <cstdint>
#include <string>

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/messages/message_ids.h"
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
    {kOptDumpProcessList, "--dumpProcessList", kMsgLabelDumpProcessList, kMsgDumpProcessListDone},
    {kOptScanProcess, "--scanProcess", kMsgLabelScanProcess, 0},
    {kOptDumpProcessAndModules, "--dumpProcessAndModulesMemImage", kMsgLabelDumpProcessAndModules,
     kMsgDumpProcessAndModulesDone},
    {kOptDumpProcessOnly, "--dumpProcessOnlyMemImage", kMsgLabelDumpProcessOnly,
     kMsgDumpProcessOnlyDone},
    {kOptScanProcessHeaps, "--scanProcessHeaps", kMsgLabelScanProcessHeaps, 0},
    {kOptDumpProcessHeaps, "--dumpProcessHeaps", kMsgLabelDumpProcessHeaps,
     kMsgDumpProcessHeapsDone},
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
  int32_t advanced = QVX_MEMORY_ADVANCED;
  const uint64_t second = scan.advanced ? reinterpret_cast<uint64_t>(&advanced) : 0;
  const engine_result r = engine.run_command(h, QVX_CMD_SCAN_MEMORY, nullptr, 0, second);
  if (r == QVX_R_SUCCESS) {
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
  if (r != QVX_R_SUCCESS) return failure_line(tool.label, r) != 3;
  if (tool.success != 0) status_line(verbose, tool.success);
  return true;
}

}  // namespace

void scan_memory_and_processes(vse& engine, engine_handle h, bool verbose) {
  bool nomem = false;
  if (!read_flag(kOptNoMem, nomem)) return lookup_failure_line();
  if (nomem) {
    status_line(verbose, kMsgSkippingMemory);
  } else {
    const memory_scan basic{kOptNoBasicMem,       kMsgSkippingBasicMemory, kMsgScanningBasicMemory,
                            kMsgLabelBasicMemory, kMsgBasicMemoryComplete, false};
    const memory_scan advanced{kOptNoAdvancedMem,          kMsgSkippingAdvancedMemory,
                               kMsgScanningAdvancedMemory, kMsgLabelAdvancedMemory,
                               kMsgAdvancedMemoryComplete, true};
    if (!run_memory_scan(engine, h, verbose, basic)) return;
    if (!run_memory_scan(engine, h, verbose, advanced)) return;
  }
  for (const process_tool& tool : kTools)
    if (!run_tool(engine, h, verbose, tool)) return;
}

}  // namespace ferrox
