#include "qorvex/src/system/system_commands.h"

#include <cstring>
#include <new>
#include <string_view>

#include "qorvex/include/qorvex.h"
#include "qorvex/src/system/boot_records.h"
#include "qorvex/src/system/private_output.h"
#include "qorvex/src/system/process_scanner.h"
#include "qorvex/src/system/process_tools.h"
#include "qorvex/src/system/startup_items.h"

namespace qorvex {
namespace {

struct tool_name {
  std::string_view name;
  process_tool tool;
};

constexpr tool_name kTools[] = {
    {"--scanProcess", process_tool::scan},
    {"--dumpProcessAndModulesMemImage", process_tool::dump_with_modules},
    {"--dumpProcessOnlyMemImage", process_tool::dump_image},
    {"--scanProcessHeaps", process_tool::scan_heaps},
    {"--dumpProcessHeaps", process_tool::dump_heaps},
};

// A text handed over as an address, read no further than the tool value limit.
bool text_at(uint64_t address, size_t max, std::string_view* out) {
  const char* text = reinterpret_cast<const char*>(static_cast<uintptr_t>(address));
  if (text == nullptr) return false;
  *out = std::string_view(text, strnlen(text, max + 1));
  return true;
}

int32_t memory_command(engine_object& object, const system_root& root, const void* argument,
                       uint64_t first, uint64_t second) {
  if (argument == nullptr) {
    if (second == 0) return scan_all_processes(object, root, false);
    const int32_t* mode = reinterpret_cast<const int32_t*>(static_cast<uintptr_t>(second));
    if (*mode != QVX_MEMORY_ADVANCED) return QVX_R_INVALID_DATA;
    return scan_all_processes(object, root, true);
  }
  std::string_view name;
  if (!text_at(reinterpret_cast<uintptr_t>(argument), 64, &name)) return QVX_R_INVALID_DATA;
  if (name == "--dumpProcessList") return dump_process_list(root, temp_folder());
  for (const tool_name& t : kTools) {
    if (name != t.name) continue;
    std::string_view value;
    if (!text_at(first, kMaxToolValue, &value)) return QVX_R_INVALID_DATA;
    return run_process_tool(object, root, t.tool, value, temp_folder());
  }
  return QVX_R_INVALID_DATA;
}

}  // namespace

int32_t run_system_command(engine_object& object, int32_t command, const void* argument,
                           uint64_t first, uint64_t second) {
  try {
    system_root root = system_root::from_environment();
    switch (command) {
      case QVX_CMD_SCAN_BOOT_SECTORS:
        return scan_boot_area(object, root, boot_area::boot_sectors);
      case QVX_CMD_SCAN_MBR:
        return scan_boot_area(object, root, boot_area::mbr);
      case QVX_CMD_SCAN_GPT:
        return scan_boot_area(object, root, boot_area::gpt);
      case QVX_CMD_SCAN_MEMORY:
        return memory_command(object, root, argument, first, second);
      case QVX_CMD_SCAN_STARTUP:
        return scan_startup_items(object, root);
      default:
        return QVX_R_INVALID_DATA;
    }
  } catch (const std::bad_alloc&) {
    return QVX_R_NO_MEMORY;
  }
}

}  // namespace qorvex
