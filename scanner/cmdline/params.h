// The parameter store: the command line in parsed form, answering typed queries by option number.
#ifndef FERROX_SCANNER_CMDLINE_PARAMS_H_
#define FERROX_SCANNER_CMDLINE_PARAMS_H_

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "scanner/cmdline/options.h"

namespace ferrox {

// One registered option and what the command line gave it.
class param_item {
 public:
  struct match_result {
    bool matched = false;   // some name of this item fits the argument
    bool accepted = false;  // ... and the value (if any) was taken
    int consumed = 0;       // arguments used: 1, or 2 when the value came from the next one
  };

  param_item() = default;
  param_item(const option_def& def);
  virtual ~param_item() = default;

  // Tries the item's names against `arg`; `next` is the following argument or "".
  match_result match(const std::string& arg, const std::string& next);
  // One line of the option summary, without the line end.
  void print(std::ostream& out) const;

  bool registered = false;
  bool flag = false;
  std::string value;
  std::vector<std::string> values;
  option_kind kind = kKindNone;
  std::vector<message_id> names;
  option_id id = -1;
};

class params {
 public:
  // Registers the option catalogue and parses argv. Needs the message catalogue (g_strings).
  params(int argc, const char* const* argv);
  virtual ~params() = default;

  bool parsed() const { return parsed_; }
  bool help_requested() const;

  // Each query returns false, leaving `out` untouched, when the store is not parsed or the number
  // is not registered with that kind. None of them changes the store: safe from any thread.
  bool get_flag(option_id id, bool& out) const;
  bool get_string(option_id id, std::string& out) const;
  bool get_list(option_id id, std::vector<std::string>& out) const;
  bool get_paths(std::vector<std::string>& out) const;

  bool print_usage(std::ostream& out) const;
  bool print_settings(std::ostream& out) const;

 private:
  bool parse(int argc, const char* const* argv);
  const param_item* find(option_id id, option_kind kind) const;

  bool parsed_ = false;
  bool show_help_ = false;
  bool failed_ = false;
  std::map<option_id, param_item> items_;
  std::vector<std::string> paths_;
};

// The process-wide parameter store; null while it does not exist.
extern params* g_params;

// Convenience reads from g_params; false when the store is missing or the read fails.
bool read_flag(option_id id, bool& out);
bool read_string(option_id id, std::string& out);
bool read_list(option_id id, std::vector<std::string>& out);

}  // namespace ferrox

#endif  // FERROX_SCANNER_CMDLINE_PARAMS_H_
