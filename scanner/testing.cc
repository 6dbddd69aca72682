#include "scanner/testing.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "scanner/cmdline/params.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"

namespace ferrox {

scoped_temp_dir::scoped_temp_dir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "ferrox_test.XXXXXX").string();
  path_ = mkdtemp(tmpl.data()) ? tmpl : std::string();
}

scoped_temp_dir::~scoped_temp_dir() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string scoped_temp_dir::write(const std::string& name, const std::string& content) const {
  const std::string file = path_ + "/" + name;
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

std::string scoped_temp_dir::read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

scoped_globals::scoped_globals(std::vector<std::string> args) {
  g_strings = new strings();
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  g_params = new params(static_cast<int>(argv.size()), argv.data());
}

scoped_globals::~scoped_globals() {
  delete g_logging;
  g_logging = nullptr;
  delete g_params;
  g_params = nullptr;
  delete g_strings;
  g_strings = nullptr;
}

}  // namespace ferrox
