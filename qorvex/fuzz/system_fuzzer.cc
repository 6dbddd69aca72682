// Fuzzes the parsers of the system areas, which read files that other users and a mounted system
// image control: process memory maps, partition table headers and the program references of
// startup items. The first byte picks the parser; the rest is its input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "qorvex/src/system/gpt.h"
#include "qorvex/src/system/proc_maps.h"
#include "qorvex/src/system/startup_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 9) {
    case 0:
      for (const qorvex::memory_region& r : qorvex::parse_maps(text)) {
        (void)r.deleted();
        (void)r.heap();
        (void)r.file_backed();
      }
      break;
    case 1: {
      qorvex::gpt_header header;
      if (qorvex::parse_gpt_header(text, &header) &&
          qorvex::gpt_entry_bytes(header) > qorvex::kMaxGptEntryBytes) {
        __builtin_trap();
      }
      break;
    }
    case 2:
      qorvex::unit_references(text);
      break;
    case 3:
      qorvex::cron_references(text, true);
      break;
    case 4:
      qorvex::cron_references(text, false);
      break;
    case 5:
      qorvex::anacron_references(text);
      break;
    case 6:
      qorvex::desktop_references(text);
      break;
    case 7:
      qorvex::preload_references(text);
      break;
    default:
      if (qorvex::udev_references(text).size() > qorvex::kMaxReferencesPerItem) __builtin_trap();
      break;
  }
  return 0;
}
