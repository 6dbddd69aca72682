// The YARA rule language, read as yara 4.2 reads it: a file yara refuses (a syntax error, an
// undefined identifier, an unreferenced string) is refused with its line; rules that use what
// the engine cannot reproduce are kept with a skip reason instead.
#ifndef QORVEX_SRC_YARA_PARSER_H_
#define QORVEX_SRC_YARA_PARSER_H_

#include <functional>
#include <string>

#include "qorvex/src/yara_ast.h"

namespace qorvex {

// Reads the file an `include` names (already resolved against the including file's folder).
using include_reader =
    std::function<bool(const std::string& path, std::string* text, std::string* err)>;

// Limits on hostile input.
inline constexpr int kMaxIncludeDepth = 16;
inline constexpr int kMaxExprDepth =
    1000;  // recursion levels of the parser, about 13 per parenthesis
inline constexpr size_t kMaxRuleStrings = 10000;

// Parses the rules of one source (its includes read with `read`) into *out. On a fault returns
// false with "file:line: message" in *err.
bool parse_yara(const std::string& label, const std::string& text, const include_reader& read,
                yara_file* out, std::string* err);

}  // namespace qorvex

#endif  // QORVEX_SRC_YARA_PARSER_H_
