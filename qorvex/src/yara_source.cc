#include "qorvex/src/yara_source.h"

#include "qorvex/src/defs_registry.h"
#include "qorvex/src/yara_parser.h"

namespace qorvex {
namespace {
// Rule files are text a person writes; anything larger is a mistake.
constexpr uint64_t kMaxRuleFileSize = 64ull << 20;
}  // namespace

bool is_yara_source(std::string_view path) {
  auto ends = [&](std::string_view suffix) {
    return path.size() > suffix.size() && path.substr(path.size() - suffix.size()) == suffix;
  };
  return ends(".yar") || ends(".yara");
}

bool add_yara_source(const std::string& path, const std::string& text, source_set* set,
                     yara_report* report, std::string* err) {
  include_reader read = [](const std::string& file, std::string* out, std::string* why) {
    return read_small_file(file, kMaxRuleFileSize, out, why);
  };
  yara_file parsed;
  if (!parse_yara(path, text, read, &parsed, err)) return false;
  compile_yara(parsed, &set->rules, report);
  return true;
}

}  // namespace qorvex
