// The subcommands of qvxdef, one source file each. Each takes the arguments after its name and
// returns the process exit code: 0 success, 1 failure (a message on standard error), 2 usage.
#ifndef QORVEX_TOOLS_QVXDEF_COMMANDS_H_
#define QORVEX_TOOLS_QVXDEF_COMMANDS_H_

#include <string>
#include <vector>

namespace qvxdef {

using args = std::vector<std::string>;

int run_compile(const args& a);
int run_info(const args& a);

struct command {
  const char* name;
  int (*run)(const args&);
  const char* usage;  // one line, after "qvxdef "
};

// Takes "--name=value" when arg starts with "--name=", storing value.
bool take_option(const std::string& arg, const char* name, std::string* value);

// Writes bytes to path through a temporary file in the same folder and a rename, so a reader
// never sees half a file. False with a message on standard error.
bool write_file_atomically(const std::string& path, const std::string& bytes);

}  // namespace qvxdef

#endif  // QORVEX_TOOLS_QVXDEF_COMMANDS_H_
