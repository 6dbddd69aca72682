#include "scanner/sysareas/memory_scan.h"

#include <cstdint>
#include <string>

#include "qorvex.h"
#include "scanner/messages/message_ids.h"

namespace ferrox {
namespace {

struct memory_scan {
  bool scan_options::*skip;
  message_id skipping, scanning, label, complete;
  bool advanced;
};

struct process_tool {
  std::string scan_options::*value;  // the tool's option; null for --dumpProcessList, a flag
  const char* argument;              // the option's name without "="
  message_id label;
  message_id success;  // 0: no success line
};

const process_tool kTools[] = {
    {nullptr, "--dumpProcessList", kMsgLabelDumpProcessList, kMsgDumpProcessListDone},
    {&scan_options::scan_process, "--scanProcess", kMsgLabelScanProcess, 0},
    {&scan_options::dump_process_and_modules, "--dumpProcessAndModulesMemImage",
     kMsgLabelDumpProcessAndModules, kMsgDumpProcessAndModulesDone},
    {&scan_options::dump_process_only, "--dumpProcessOnlyMemImage", kMsgLabelDumpProcessOnly,
     kMsgDumpProcessOnlyDone},
    {&scan_options::scan_process_heaps, "--scanProcessHeaps", kMsgLabelScanProcessHeaps, 0},
    {&scan_options::dump_process_heaps, "--dumpProcessHeaps", kMsgLabelDumpProcessHeaps,
     kMsgDumpProcessHeapsDone},
};

// False when the phase must end (a level-3 result).
bool run_memory_scan(const run_context& ctx, engine_handle h, const memory_scan& scan) {
  if (ctx.options.*scan.skip) {
    ctx.status(scan.skipping);
    return true;
  }
  ctx.status(scan.scanning);
  int32_t advanced = QVX_MEMORY_ADVANCED;
  const uint64_t second = scan.advanced ? reinterpret_cast<uint64_t>(&advanced) : 0;
  const engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_MEMORY, nullptr, 0, second);
  if (r == QVX_R_SUCCESS) {
    ctx.status(scan.complete);
    return true;
  }
  return ctx.program_file.result(scan.label, r) != 3;
}

bool run_tool(const run_context& ctx, engine_handle h, const process_tool& tool) {
  const std::string* value = tool.value ? &(ctx.options.*tool.value) : nullptr;
  const bool wanted = value ? !value->empty() : ctx.options.dump_process_list;
  if (!wanted) return true;
  const uint64_t first = value ? reinterpret_cast<uint64_t>(value->c_str()) : 0;
  const engine_result r = ctx.engine.run_command(h, QVX_CMD_SCAN_MEMORY, tool.argument, first, 0);
  if (r != QVX_R_SUCCESS) return ctx.program_file.result(tool.label, r) != 3;
  if (tool.success != 0) ctx.status(tool.success);
  return true;
}

}  // namespace

void scan_memory_and_processes(const run_context& ctx, engine_handle h) {
  if (ctx.options.no_memory) {
    ctx.status(kMsgSkippingMemory);
  } else {
    const memory_scan basic{&scan_options::no_basic_memory, kMsgSkippingBasicMemory,
                            kMsgScanningBasicMemory,        kMsgLabelBasicMemory,
                            kMsgBasicMemoryComplete,        false};
    const memory_scan advanced{&scan_options::no_advanced_memory, kMsgSkippingAdvancedMemory,
                               kMsgScanningAdvancedMemory,        kMsgLabelAdvancedMemory,
                               kMsgAdvancedMemoryComplete,        true};
    if (!run_memory_scan(ctx, h, basic)) return;
    if (!run_memory_scan(ctx, h, advanced)) return;
  }
  for (const process_tool& tool : kTools)
    if (!run_tool(ctx, h, tool)) return;
}

}  // namespace ferrox
