#include "scanner/testing.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

scoped_catalogue::scoped_catalogue() { install_catalogue(&catalogue_); }

scoped_catalogue::~scoped_catalogue() { install_catalogue(nullptr); }

parsed_command_line parse_args(const std::vector<std::string>& args, const strings& catalogue) {
  std::vector<const char*> argv = {"ferrox64"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return parse_command_line(static_cast<int>(argv.size()), argv.data(), catalogue);
}

}  // namespace ferrox
