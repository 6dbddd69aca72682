// Shared helpers for the scanner's unit tests.
#ifndef FERROX_SCANNER_TESTING_H_
#define FERROX_SCANNER_TESTING_H_

#include <string>
#include <vector>

#include "scanner/cmdline/command_line.h"
#include "scanner/messages/strings.h"

namespace ferrox {

// A fresh temporary folder, removed with everything in it on destruction.
class scoped_temp_dir {
 public:
  scoped_temp_dir();
  ~scoped_temp_dir();
  const std::string& path() const { return path_; }
  // Writes `content` to path()/name and returns the full path.
  std::string write(const std::string& name, const std::string& content) const;
  static std::string read(const std::string& file);

 private:
  std::string path_;
};

// Installs the built-in message catalogue for msg(), and removes it again on destruction.
class scoped_catalogue {
 public:
  scoped_catalogue();
  ~scoped_catalogue();
  const strings& catalogue() const { return catalogue_; }

 private:
  strings catalogue_;
};

// Parses `args` (without the program name) with `catalogue`.
parsed_command_line parse_args(const std::vector<std::string>& args, const strings& catalogue);

}  // namespace ferrox

#endif  // FERROX_SCANNER_TESTING_H_
