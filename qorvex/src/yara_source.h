// A YARA rule file as a definitions source: parsed with its includes, its rules compiled into the
// set's rules, with one report line per source and one per skipped rule.
#ifndef QORVEX_SRC_YARA_SOURCE_H_
#define QORVEX_SRC_YARA_SOURCE_H_

#include <string>
#include <string_view>

#include "qorvex/src/source_parser.h"

namespace qorvex {

// Whether a source path names a YARA rule file (it ends in .yar or .yara).
bool is_yara_source(std::string_view path);

// Adds the rules of a YARA file (its text already read) to set->rules. A file yara refuses is an
// error ("file:line: message" in *err); rules that cannot be reproduced exactly are skipped, each
// with a line in *report.
bool add_yara_source(const std::string& path, const std::string& text, source_set* set,
                     yara_report* report, std::string* err);

}  // namespace qorvex

#endif  // QORVEX_SRC_YARA_SOURCE_H_
