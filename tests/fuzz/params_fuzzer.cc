// Feeds the command-line parser command lines: NUL-separated arguments.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "scanner/cmdline/command_line.h"
#include "scanner/messages/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const ferrox::strings catalogue;
  std::vector<std::string> args = {"ferrox64"};
  std::string current;
  for (size_t i = 0; i < size && args.size() < 4096; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  args.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  const ferrox::parsed_command_line p =
      ferrox::parse_command_line(static_cast<int>(argv.size()), argv.data(), catalogue);
  std::ostringstream out;
  ferrox::print_settings(p.options, out, catalogue);
  return 0;
}
