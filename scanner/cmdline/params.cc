#include "scanner/cmdline/params.h"

#include "scanner/messages/strings.h"

namespace ferrox {

params* g_params = nullptr;

param_item::param_item(const option_def& def)
    : registered(true), value(def.default_value), kind(def.kind), names(def.names), id(def.id) {}

param_item::match_result param_item::match(const std::string& arg, const std::string& next) {
  match_result refused{true, false, 0};
  if (!registered) return refused;
  for (message_id name_id : names) {
    const std::string name = msg(name_id);
    if (name.empty()) return refused;
    if (kind == kKindFlag) {
      if (arg != name) continue;
      flag = true;
      return {true, true, 1};
    }
    if (kind != kKindValue && kind != kKindList) return refused;
    if (arg.compare(0, name.size(), name) != 0) continue;
    std::string v = arg.substr(name.size());
    int consumed = 1;
    if (v.empty()) {
      // The value is the next argument, whatever it looks like, even "-V".
      if (next.empty()) return refused;
      v = next;
      consumed = 2;
    }
    if (kind == kKindValue)
      value = v;
    else
      values.push_back(v);
    return {true, true, consumed};
  }
  return {};
}

void param_item::print(std::ostream& out) const {
  if (!names.empty()) out << msg(names.front());
  switch (kind) {
    case kKindFlag:
      out << ' ' << msg(flag ? kMsgTrue : kMsgFalse);
      break;
    case kKindValue:
      out << value;
      break;
    case kKindList:
      for (std::size_t i = 0; i < values.size(); ++i) out << (i ? ", " : "") << values[i];
      break;
    default:
      break;
  }
}

params::params(int argc, const char* const* argv) {
  if (g_strings == nullptr) return;
  for (const option_def& def : option_catalogue()) items_.emplace(def.id, param_item(def));
  parsed_ = parse(argc, argv);
}

bool params::parse(int argc, const char* const* argv) {
  failed_ = false;
  if (argc < 2) return true;
  for (int i = 1; i < argc;) {
    if (argv[i] == nullptr) {
      failed_ = true;
      break;
    }
    const std::string arg = argv[i];
    if (arg.empty() || arg[0] != '-') {
      paths_.push_back(arg);
      ++i;
      continue;
    }
    const std::string next = (i + 1 < argc && argv[i + 1]) ? argv[i + 1] : "";
    param_item::match_result r;
    for (auto& [id, item] : items_) {
      r = item.match(arg, next);
      if (r.matched) break;
    }
    if (r.matched && r.accepted) {
      i += r.consumed;
      continue;
    }
    // Refused or unrecognised: note it and keep looking at every later argument.
    show_help_ = true;
    failed_ = true;
    ++i;
  }
  return !failed_;
}

bool params::help_requested() const {
  if (show_help_) return true;
  if (!parsed_) return false;
  bool help = false;
  return get_flag(kOptHelp, help) && help;
}

const param_item* params::find(option_id id, option_kind kind) const {
  if (!parsed_) return nullptr;
  auto it = items_.find(id);
  if (it == items_.end() || !it->second.registered || it->second.kind != kind) return nullptr;
  return &it->second;
}

bool params::get_flag(option_id id, bool& out) const {
  const param_item* item = find(id, kKindFlag);
  if (!item) return false;
  out = item->flag;
  return true;
}

bool params::get_string(option_id id, std::string& out) const {
  const param_item* item = find(id, kKindValue);
  if (!item) return false;
  out = item->value;
  return true;
}

bool params::get_list(option_id id, std::vector<std::string>& out) const {
  const param_item* item = find(id, kKindList);
  if (!item) return false;
  out = item->values;
  return true;
}

bool params::get_paths(std::vector<std::string>& out) const {
  out = paths_;
  return true;
}

bool params::print_usage(std::ostream& out) const {
  out << msg(kMsgHelpText) << std::flush;
  out << "\n" << std::flush;
  out << "\n" << std::flush;
  return true;
}

bool params::print_settings(std::ostream& out) const {
  bool show = false;
  if (!get_flag(kOptShowSettings, show) || !show) return true;
  for (const auto& [id, item] : items_) {
    item.print(out);
    out << "\n";
  }
  out.flush();
  return true;
}

bool read_flag(option_id id, bool& out) { return g_params && g_params->get_flag(id, out); }
bool read_string(option_id id, std::string& out) {
  return g_params && g_params->get_string(id, out);
}
bool read_list(option_id id, std::vector<std::string>& out) {
  return g_params && g_params->get_list(id, out);
}

}  // namespace ferrox
