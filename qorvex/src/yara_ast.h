// YARA rules as parsed: rules, their strings and their conditions as trees. The parser
// (yara_parser.h) accepts the whole rule language so that a file yara refuses is refused here too;
// what the engine cannot reproduce is kept as an `unsupported` node with its reason, and the
// compiler (yara_compile.h) skips the rules holding one.
#ifndef QORVEX_SRC_YARA_AST_H_
#define QORVEX_SRC_YARA_AST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qorvex/src/condition.h"

namespace qorvex {

enum string_modifier : uint32_t {
  kModAscii = 1,
  kModWide = 2,
  kModNocase = 4,
  kModFullword = 8,
  kModPrivate = 16,
  kModXor = 32,
  kModBase64 = 64,
  kModBase64Wide = 128,
};

struct yara_string {
  enum class type { text, hex, regex } kind = type::text;
  std::string id;    // "$name"
  std::string body;  // the text's bytes, the hex body or the regular expression's source
  uint32_t modifiers = 0;
  bool regex_nocase = false, regex_dotall = false;  // the /i and /s flags
  int xor_min = 0, xor_max = 255;
  bool custom_alphabet = false;  // base64 with its own alphabet
  int line = 0;
};

struct yara_expr {
  enum class node {
    number,  // value
    filesize,
    string_match,   // $a (text: the string id; "$" inside a for-of body)
    string_at,      // $a at kids[0]
    string_in,      // $a in (kids[0]..kids[1])
    string_count,   // #a; with two kids: #a in (kids[0]..kids[1])
    string_offset,  // @a[kids[0]]
    string_length,  // !a[kids[0]]
    read,           // value: read_form; kids[0] the offset
    rule_ref,       // text: the rule's name
    unary,          // op, kids[0]
    binary,         // op, kids[0] kids[1]
    of,             // quantifier kids[0] (absent: all; value 1: any, with quant_none: none) of set
    for_of,         // as of, with the body kids[1] evaluated for each string of the set
    unsupported,    // text: why
  } kind = node::number;
  cond_op op = cond_op::push;
  int64_t value = 0;
  std::string text;
  enum class quant { all, any, none, count } q = quant::any;
  std::vector<std::string> set;  // string ids, wildcards expanded
  std::vector<yara_expr> kids;
};

struct yara_rule {
  std::string name;
  int line = 0;
  bool is_private = false, is_global = false;
  std::vector<std::pair<std::string, std::string>> meta;  // key, value as text
  std::vector<yara_string> strings;
  yara_expr condition;
  std::string skip;  // why the rule cannot be compiled exactly (empty: it can)
};

struct yara_file {
  std::vector<yara_rule> rules;     // includes resolved, in order
  std::vector<std::string> labels;  // for each rule, the file it came from
};

}  // namespace qorvex

#endif  // QORVEX_SRC_YARA_AST_H_
