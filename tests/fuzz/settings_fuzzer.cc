// Feeds the update settings reader arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "scanner/update/update_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ferrox::update_settings settings;
  ferrox::parse_update_settings(std::string(reinterpret_cast<const char*>(data), size), settings);
  if (settings.size() > 6) __builtin_trap();  // only the six known keys are ever stored
  return 0;
}
