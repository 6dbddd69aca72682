// Parsing the command line once into scan_options, and the two texts the option table makes.
#ifndef FERROX_SCANNER_CMDLINE_COMMAND_LINE_H_
#define FERROX_SCANNER_CMDLINE_COMMAND_LINE_H_

#include <ostream>

#include "scanner/cmdline/options.h"
#include "scanner/messages/strings.h"

namespace ferrox {

struct parsed_command_line {
  bool ok = false;       // every argument was understood
  bool usage = false;    // the usage text is wanted: --help, or an option that was not understood
  scan_options options;  // what was understood; also filled when !ok
};

// An argument that does not begin with '-' (or is empty) is a path. Any other must fit a name
// of the table, in table order: a flag's name exactly; a value's or list's name as a prefix, the
// rest being the value, or the next argument (whatever it is) when the rest is empty. An argument
// that fits nothing, or a value name with nothing to take, is noted and parsing goes on with the
// next argument. With a catalogue that is not ready nothing is parsed.
parsed_command_line parse_command_line(int argc, const char* const* argv, const strings& catalogue);

// The help text and two line ends.
void print_usage(std::ostream& out, const strings& catalogue);
// With --show-settings: every option in table order, one line each ("--hard false",
// "--archive=5", "--exclude-ext=a, b"); nothing otherwise.
void print_settings(const scan_options& options, std::ostream& out, const strings& catalogue);

}  // namespace ferrox

#endif  // FERROX_SCANNER_CMDLINE_COMMAND_LINE_H_
