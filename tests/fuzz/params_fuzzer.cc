// Feeds the parameter store command lines: NUL-separated arguments.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "scanner/cmdline/params.h"
#include "scanner/messages/strings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ferrox::strings* catalogue = (ferrox::g_strings = new ferrox::strings());
  (void)catalogue;
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
  ferrox::params p(static_cast<int>(argv.size()), argv.data());
  std::ostringstream out;
  p.print_settings(out);
  std::vector<std::string> paths;
  p.get_paths(paths);
  bool flag;
  std::string value;
  for (int id = -1; id < 60; ++id) {
    p.get_flag(id, flag);
    p.get_string(id, value);
  }
  return 0;
}
