#include "scanner/cmdline/command_line.h"

#include <string>

namespace ferrox {
namespace {

struct match {
  bool matched = false;   // some name of the row fits the argument
  bool accepted = false;  // ... and the value (if any) was taken
  int consumed = 0;       // arguments used: 1, or 2 when the value came from the next one
};

match try_row(const option_row& row, const std::string& arg, const std::string& next,
              const strings& catalogue, scan_options& options) {
  const match refused{true, false, 0};
  for (message_id id : row.names) {
    const std::string name = catalogue.get(id);
    if (name.empty()) return refused;
    if (const auto* flag = std::get_if<bool scan_options::*>(&row.field)) {
      if (arg != name) continue;
      options.*(*flag) = true;
      return {true, true, 1};
    }
    if (arg.compare(0, name.size(), name) != 0) continue;
    std::string value = arg.substr(name.size());
    int consumed = 1;
    if (value.empty()) {
      // The value is the next argument, whatever it looks like, even "-V".
      if (next.empty()) return refused;
      value = next;
      consumed = 2;
    }
    if (const auto* text = std::get_if<std::string scan_options::*>(&row.field))
      options.*(*text) = value;
    else
      (options.*std::get<std::vector<std::string> scan_options::*>(row.field)).push_back(value);
    return {true, true, consumed};
  }
  return {};
}

}  // namespace

parsed_command_line parse_command_line(int argc, const char* const* argv,
                                       const strings& catalogue) {
  parsed_command_line result;
  if (!catalogue.ready()) return result;
  scan_options& options = result.options;
  bool failed = false, not_understood = false;
  for (int i = 1; i < argc;) {
    if (argv[i] == nullptr) {
      failed = true;
      break;
    }
    const std::string arg = argv[i];
    if (arg.empty() || arg[0] != '-') {
      options.paths.push_back(arg);
      ++i;
      continue;
    }
    const std::string next = (i + 1 < argc && argv[i + 1]) ? argv[i + 1] : "";
    match m;
    for (const option_row& row : option_table()) {
      m = try_row(row, arg, next, catalogue, options);
      if (m.matched) break;
    }
    if (m.accepted) {
      i += m.consumed;
      continue;
    }
    // Refused or unrecognised: note it and keep looking at every later argument.
    not_understood = failed = true;
    ++i;
  }
  result.ok = !failed;
  result.usage = not_understood || (result.ok && options.help);
  return result;
}

void print_usage(std::ostream& out, const strings& catalogue) {
  out << catalogue.get(kMsgHelpText) << std::flush;
  out << "\n" << std::flush;
  out << "\n" << std::flush;
}

void print_settings(const scan_options& options, std::ostream& out, const strings& catalogue) {
  if (!options.show_settings) return;
  for (const option_row& row : option_table()) {
    out << catalogue.get(row.names.front());
    if (const auto* flag = std::get_if<bool scan_options::*>(&row.field)) {
      out << ' ' << catalogue.get(options.*(*flag) ? kMsgTrue : kMsgFalse);
    } else if (const auto* text = std::get_if<std::string scan_options::*>(&row.field)) {
      out << options.*(*text);
    } else {
      const auto& values = options.*std::get<std::vector<std::string> scan_options::*>(row.field);
      for (std::size_t i = 0; i < values.size(); ++i) out << (i ? ", " : "") << values[i];
    }
    out << "\n";
  }
  out.flush();
}

}  // namespace ferrox
