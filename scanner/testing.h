// Shared helpers for the scanner's unit tests.
#ifndef FERROX_SCANNER_TESTING_H_
#define FERROX_SCANNER_TESTING_H_

#include <string>
#include <vector>

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

// Installs a message catalogue and a parameter store built from `args` (program name first) as
// the process-wide objects, and removes them again on destruction.
class scoped_globals {
 public:
  explicit scoped_globals(std::vector<std::string> args);
  ~scoped_globals();
};

}  // namespace ferrox

#endif  // FERROX_SCANNER_TESTING_H_
