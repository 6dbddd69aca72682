// Fuzzes the YARA rule parser and compiler: parse, compile the rules to condition programs and
// matcher expressions, then check every program as the loader would. Seed it with rule files, e.g.
// build-fuzz/bin/yara_fuzzer -max_len=65536 corpus-dir
// /work/shared/yara-rulesets/yara-rules/malware
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "qorvex/src/condition.h"
#include "qorvex/src/yara_compile.h"
#include "qorvex/src/yara_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  qorvex::include_reader no_includes = [](const std::string&, std::string*, std::string*) {
    return false;
  };
  qorvex::yara_file parsed;
  std::string err;
  if (!qorvex::parse_yara("fuzz.yar", text, no_includes, &parsed, &err)) return 0;
  qorvex::rule_set set;
  qorvex::yara_report report;
  qorvex::compile_yara(parsed, &set, &report);
  for (uint32_t i = 0; i < set.rules.size(); ++i) {
    if (!qorvex::check_program(set.rules[i].program, set.slots, i, &err)) std::abort();
  }
  return 0;
}
