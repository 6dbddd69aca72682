// Feeds the target list reader arbitrary files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "scanner/targets/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/ferrox_list_fuzz." + std::to_string(getpid());
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  for (const std::string& line : ferrox::read_list_file(path))
    if (line.size() < 2 || line.back() == '\n') __builtin_trap();
  return 0;
}
