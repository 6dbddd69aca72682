#include "scanner/engine/definitions_location.h"

#include "scanner/platform/files.h"
#include "scanner/platform/process.h"

namespace ferrox {

const char kSystemDefinitionsFolder[] = "/var/lib/ferrox/";

namespace {

bool holds_definitions(const std::string& folder) {
  file_system& fs = default_file_system();
  return fs.exists(folder + "sigbase.def") || fs.exists(folder + "sigbase-v2.def");
}

}  // namespace

std::string locate_definitions_in(const std::string& deflocation, const std::string& program,
                                  const std::string& system_folder) {
  if (deflocation.size() >= 2) return deflocation;
  if (program.empty()) return "";
  const std::size_t slash = program.rfind('/');
  const std::string folder =
      slash == std::string::npos ? program + "/" : program.substr(0, slash + 1);
  if (holds_definitions(folder)) return folder;
  if (holds_definitions(system_folder)) return system_folder;
  return folder;
}

std::string locate_definitions(const std::string& deflocation) {
  std::string program;
  if (!module_path(program)) program.clear();
  return locate_definitions_in(deflocation, program, kSystemDefinitionsFolder);
}

}  // namespace ferrox
