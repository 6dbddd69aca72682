#include "qorvex/src/yara_parser.h"

#include <cctype>
#include <map>
#include <set>

#include "qorvex/src/yara_strings.h"

namespace qorvex {
namespace {

struct token {
  enum class type {
    eof,
    ident,
    str_id,
    str_count,
    str_offset,
    str_length,
    number,
    real,
    text,
    punct
  } kind = type::eof;
  std::string text;  // identifier, punctuation, string bytes
  int64_t value = 0;
  int line = 0;
};

struct parse_error {
  std::string label;
  int line;
  std::string message;
};

bool ident_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

const std::set<std::string>& keywords() {
  static const std::set<std::string> k = {
      "all",         "and",      "any",      "ascii",      "at",        "base64",   "base64wide",
      "condition",   "contains", "endswith", "entrypoint", "false",     "filesize", "for",
      "fullword",    "global",   "import",   "icontains",  "iendswith", "iequals",  "in",
      "include",     "int16",    "int16be",  "int32",      "int32be",   "int8",     "int8be",
      "istartswith", "matches",  "meta",     "nocase",     "none",      "not",      "of",
      "or",          "private",  "rule",     "startswith", "strings",   "them",     "true",
      "uint16",      "uint16be", "uint32",   "uint32be",   "uint8",     "uint8be",  "wide",
      "xor",         "defined"};
  return k;
}

// The integer functions and their read forms.
bool read_function(const std::string& name, uint8_t* form) {
  static const std::map<std::string, uint8_t> f = {
      {"uint8", kRead8},
      {"uint16", kRead16},
      {"uint32", kRead32},
      {"int8", kRead8 | kReadSigned},
      {"int16", kRead16 | kReadSigned},
      {"int32", kRead32 | kReadSigned},
      {"uint8be", kRead8 | kReadBigEndian},
      {"uint16be", kRead16 | kReadBigEndian},
      {"uint32be", kRead32 | kReadBigEndian},
      {"int8be", kRead8 | kReadSigned | kReadBigEndian},
      {"int16be", kRead16 | kReadSigned | kReadBigEndian},
      {"int32be", kRead32 | kReadSigned | kReadBigEndian}};
  auto it = f.find(name);
  if (it == f.end()) return false;
  *form = it->second;
  return true;
}

enum class vtype { boolean, integer, real, text, any };

yara_expr unsupported(std::string why) {
  yara_expr e;
  e.kind = yara_expr::node::unsupported;
  e.text = std::move(why);
  return e;
}

// Why an operand that should be an integer is not one: its own reason (a module value) or a
// floating-point value.
yara_expr not_integer(const yara_expr& e) {
  return unsupported(e.kind == yara_expr::node::unsupported ? e.text : "floating-point values");
}

// Everything of one namespace (a source and its includes).
struct ns_state {
  std::set<std::string> modules;
  std::set<std::string> rules;
  int include_depth = 0;
};

class parser {
 public:
  parser(const std::string& label, const std::string& text, const include_reader& read,
         ns_state* ns, yara_file* out)
      : label_(label), text_(text), read_(read), ns_(ns), out_(out) {}

  void parse_file() {
    while (peek().kind != token::type::eof) {
      token t = next();
      if (t.kind == token::type::ident && t.text == "import") {
        token m = expect_kind(token::type::text, "a module name");
        ns_->modules.insert(m.text);
      } else if (t.kind == token::type::ident && t.text == "include") {
        token f = expect_kind(token::type::text, "a file name");
        include(f);
      } else {
        rule_head(t);
      }
    }
  }

 private:
  // --- Lexing ---

  [[noreturn]] void fail(const std::string& message, int line = 0) {
    throw parse_error{label_, line != 0 ? line : line_, message};
  }

  void skip_blank() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else if (text_.compare(pos_, 2, "//") == 0) {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (text_.compare(pos_, 2, "/*") == 0) {
        size_t end = text_.find("*/", pos_ + 2);
        if (end == std::string::npos) fail("unterminated comment");
        for (size_t i = pos_; i < end; ++i) line_ += text_[i] == '\n';
        pos_ = end + 2;
      } else {
        return;
      }
    }
  }

  const token& peek() {
    if (!has_peek_) {
      peeked_ = lex();
      has_peek_ = true;
    }
    return peeked_;
  }

  token next() {
    peek();
    has_peek_ = false;
    return peeked_;
  }

  bool accept(const char* punct_or_word) {
    const token& t = peek();
    if ((t.kind == token::type::punct || t.kind == token::type::ident) && t.text == punct_or_word) {
      next();
      return true;
    }
    return false;
  }

  void expect(const char* what) {
    if (!accept(what)) fail(std::string("syntax error, expected '") + what + "'", peek().line);
  }

  token expect_kind(token::type k, const char* what) {
    token t = next();
    if (t.kind != k) fail(std::string("syntax error, expected ") + what, t.line);
    return t;
  }

  int64_t lex_number() {
    size_t start = pos_;
    uint64_t v = 0;
    auto add_digit = [&](unsigned base, unsigned d) {
      if (v > (uint64_t(INT64_MAX) - d) / base) fail("integer overflow");
      v = v * base + d;
    };
    if (text_.compare(pos_, 2, "0x") == 0 || text_.compare(pos_, 2, "0o") == 0) {
      unsigned base = text_[pos_ + 1] == 'x' ? 16 : 8;
      pos_ += 2;
      size_t digits = pos_;
      while (pos_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[pos_]))) {
        char c = char(std::tolower(static_cast<unsigned char>(text_[pos_])));
        unsigned d = std::isdigit(static_cast<unsigned char>(c)) ? unsigned(c - '0')
                                                                 : unsigned(c - 'a' + 10);
        if (d >= base) fail("syntax error in number");
        add_digit(base, d);
        ++pos_;
      }
      if (pos_ == digits) fail("syntax error in number");
    } else {
      while (pos_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
        add_digit(10, unsigned(text_[pos_] - '0'));
        ++pos_;
      }
      if (text_.compare(pos_, 2, "KB") == 0 || text_.compare(pos_, 2, "MB") == 0) {
        uint64_t scale = text_[pos_] == 'K' ? 1024 : 1024 * 1024;
        if (v > uint64_t(INT64_MAX) / scale) fail("integer overflow");
        v *= scale;
        pos_ += 2;
      }
    }
    if (pos_ < text_.size() && ident_char(text_[pos_])) {
      pos_ = start;
      fail("syntax error in number");
    }
    return int64_t(v);
  }

  std::string lex_text() {
    std::string out;
    ++pos_;
    while (true) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') fail("unterminated string");
      char c = text_[pos_++];
      if (c == '"') return out;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) fail("unterminated string");
      char e = text_[pos_++];
      switch (e) {
        case '"':
        case '\\':
          out += e;
          break;
        case 't':
          out += '\t';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 'x': {
          int hi = pos_ < text_.size() ? hex_digit(text_[pos_]) : -1;
          int lo = pos_ + 1 < text_.size() ? hex_digit(text_[pos_ + 1]) : -1;
          if (hi < 0 || lo < 0) fail("illegal escape sequence");
          out += char(hi << 4 | lo);
          pos_ += 2;
          break;
        }
        default:
          fail("illegal escape sequence");
      }
    }
  }

  static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  token lex() {
    skip_blank();
    token t;
    t.line = line_;
    if (pos_ >= text_.size()) return t;
    char c = text_[pos_];
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t start = pos_;
      while (pos_ < text_.size() && ident_char(text_[pos_])) ++pos_;
      t.kind = token::type::ident;
      t.text = text_.substr(start, pos_ - start);
      if (t.text.size() > 128) fail("identifier too long");
      return t;
    }
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t start = pos_;
      t.value = lex_number();
      if (pos_ + 1 < text_.size() && text_[pos_] == '.' &&
          std::isdigit(static_cast<unsigned char>(text_[pos_ + 1]))) {
        pos_ = start;
        while (pos_ < text_.size() &&
               (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.')) {
          ++pos_;
        }
        t.kind = token::type::real;
        return t;
      }
      t.kind = token::type::number;
      return t;
    }
    if (c == '"') {
      t.kind = token::type::text;
      t.text = lex_text();
      return t;
    }
    static const std::map<char, token::type> sigils = {{'$', token::type::str_id},
                                                       {'#', token::type::str_count},
                                                       {'@', token::type::str_offset},
                                                       {'!', token::type::str_length}};
    auto sigil = sigils.find(c);
    if (sigil != sigils.end() && !(c == '!' && text_.compare(pos_, 2, "!=") == 0)) {
      size_t start = ++pos_;
      while (pos_ < text_.size() && ident_char(text_[pos_])) ++pos_;
      if (c == '$' && pos_ < text_.size() && text_[pos_] == '*') ++pos_;
      t.kind = sigil->second;
      t.text = "$" + text_.substr(start, pos_ - start);
      if (c != '$' && t.text == "$" && !in_for_of_)
        fail("syntax error, unexpected '" + std::string(1, c) + "'");
      return t;
    }
    static const char* const puncts[] = {"..", "==", "!=", "<=", ">=", "<<", ">>", "{", "}", "(",
                                         ")",  "[",  "]",  ":",  ",",  "=",  "<",  ">", "+", "-",
                                         "*",  "\\", "%",  "&",  "|",  "^",  "~",  ".", "/"};
    for (const char* p : puncts) {
      if (text_.compare(pos_, std::char_traits<char>::length(p), p) == 0) {
        pos_ += std::char_traits<char>::length(p);
        t.kind = token::type::punct;
        t.text = p;
        return t;
      }
    }
    fail(std::string("syntax error, unexpected character '") + c + "'");
  }

  // A regular expression right after its opening '/' was read; flags follow the closing one.
  void lex_regex(yara_string* s) {
    std::string body;
    while (true) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') fail("unterminated regular expression");
      char c = text_[pos_++];
      if (c == '/') break;
      body += c;
      if (c == '\\') {
        if (pos_ >= text_.size() || text_[pos_] == '\n') fail("unterminated regular expression");
        body += text_[pos_++];
      }
    }
    while (pos_ < text_.size() && (text_[pos_] == 'i' || text_[pos_] == 's')) {
      (text_[pos_] == 'i' ? s->regex_nocase : s->regex_dotall) = true;
      ++pos_;
    }
    if (body.empty()) fail("empty regular expression");
    s->body = body;
  }

  // --- Declarations ---

  void include(const token& name) {
    if (ns_->include_depth >= kMaxIncludeDepth) fail("includes nested too deeply", name.line);
    std::string path = name.text;
    size_t slash = label_.rfind('/');
    if (!path.empty() && path[0] != '/' && slash != std::string::npos)
      path = label_.substr(0, slash + 1) + path;
    std::string text, err;
    if (!read_(path, &text, &err)) fail("can't open include file: " + name.text, name.line);
    ++ns_->include_depth;
    parser inner(path, text, read_, ns_, out_);
    inner.parse_file();
    --ns_->include_depth;
  }

  void rule_head(token t) {
    yara_rule r;
    while (t.kind == token::type::ident && (t.text == "private" || t.text == "global")) {
      (t.text == "private" ? r.is_private : r.is_global) = true;
      t = next();
    }
    if (t.kind != token::type::ident || t.text != "rule")
      fail("syntax error, unexpected " + describe(t), t.line);
    token name = expect_kind(token::type::ident, "a rule name");
    if (keywords().count(name.text)) fail("syntax error, unexpected keyword", name.line);
    if (ns_->rules.count(name.text)) fail("duplicated identifier \"" + name.text + "\"", name.line);
    r.name = name.text;
    r.line = name.line;
    if (accept(":")) {
      expect_kind(token::type::ident, "a tag");
      while (peek().kind == token::type::ident && peek().text != "{") next();
    }
    expect("{");
    if (accept("meta")) {
      expect(":");
      while (peek().kind == token::type::ident && peek().text != "strings" &&
             peek().text != "condition") {
        meta(&r);
      }
    }
    rule_ = &r;
    if (accept("strings")) {
      expect(":");
      while (peek().kind == token::type::str_id) string_decl(&r);
      if (r.strings.empty()) fail("syntax error, empty strings section");
    }
    expect("condition");
    expect(":");
    used_.assign(r.strings.size(), false);
    r.condition = expr_or(0);
    expect("}");
    for (size_t i = 0; i < r.strings.size(); ++i) {
      if (!used_[i]) fail("unreferenced string \"" + r.strings[i].id + "\"", r.strings[i].line);
    }
    rule_ = nullptr;
    ns_->rules.insert(r.name);
    out_->labels.push_back(label_);
    out_->rules.push_back(std::move(r));
  }

  static std::string describe(const token& t) {
    return t.kind == token::type::eof ? "end of file" : "'" + t.text + "'";
  }

  void meta(yara_rule* r) {
    token key = next();
    expect("=");
    token v = next();
    std::string value;
    if (v.kind == token::type::text) {
      value = v.text;
    } else if (v.kind == token::type::number) {
      value = std::to_string(v.value);
    } else if (v.kind == token::type::punct && v.text == "-") {
      value = "-" + std::to_string(expect_kind(token::type::number, "a number").value);
    } else if (v.kind == token::type::ident && (v.text == "true" || v.text == "false")) {
      value = v.text;
    } else {
      fail("syntax error in meta", v.line);
    }
    r->meta.emplace_back(key.text, value);
  }

  void string_decl(yara_rule* r) {
    token id = next();
    if (id.text.back() == '*') fail("syntax error, unexpected '*'", id.line);
    for (const yara_string& s : r->strings) {
      if (s.id == id.text && id.text != "$")
        fail("duplicated string identifier \"" + id.text + "\"", id.line);
    }
    if (r->strings.size() >= kMaxRuleStrings) fail("too many strings in one rule", id.line);
    yara_string s;
    s.id = id.text;
    s.line = id.line;
    if (has_peek_) fail("internal: lookahead before a string value");
    skip_blank();
    if (pos_ >= text_.size() || text_[pos_] != '=') fail("syntax error, expected '='");
    ++pos_;
    skip_blank();
    if (pos_ < text_.size() && text_[pos_] == '"') {
      s.kind = yara_string::type::text;
      s.body = lex_text();
      if (s.body.empty()) fail("empty string \"" + s.id + "\"");
    } else if (pos_ < text_.size() && text_[pos_] == '{') {
      size_t end = text_.find('}', pos_);
      if (end == std::string::npos) fail("unterminated hex string");
      s.kind = yara_string::type::hex;
      s.body = text_.substr(pos_ + 1, end - pos_ - 1);
      std::string err;
      hex_info info;
      if (!parse_hex(s.body, &info, &err)) fail(err);
      for (size_t i = pos_; i < end; ++i) line_ += text_[i] == '\n';
      pos_ = end + 1;
    } else if (pos_ < text_.size() && text_[pos_] == '/') {
      ++pos_;
      s.kind = yara_string::type::regex;
      lex_regex(&s);
    } else {
      fail("syntax error, expected a string value");
    }
    modifiers(&s);
    r->strings.push_back(std::move(s));
  }

  void modifiers(yara_string* s) {
    static const std::map<std::string, uint32_t> mods = {
        {"ascii", kModAscii},     {"wide", kModWide},
        {"nocase", kModNocase},   {"fullword", kModFullword},
        {"private", kModPrivate}, {"xor", kModXor},
        {"base64", kModBase64},   {"base64wide", kModBase64Wide}};
    while (peek().kind == token::type::ident && mods.count(peek().text)) {
      token m = next();
      uint32_t bit = mods.at(m.text);
      if (s->modifiers & bit) fail("duplicated modifier", m.line);
      s->modifiers |= bit;
      if (bit == kModXor && accept("(")) {
        s->xor_min = s->xor_max = int(byte_value());
        if (accept("-")) s->xor_max = int(byte_value());
        if (s->xor_max < s->xor_min) fail("invalid xor range", m.line);
        expect(")");
      } else if ((bit == kModBase64 || bit == kModBase64Wide) && accept("(")) {
        token a = expect_kind(token::type::text, "an alphabet");
        if (a.text.size() != 64) fail("length of base64 alphabet must be 64", a.line);
        s->custom_alphabet = true;
        expect(")");
      }
    }
    uint32_t m = s->modifiers;
    bool text = s->kind == yara_string::type::text;
    bool regex = s->kind == yara_string::type::regex;
    uint32_t allowed = text    ? ~0u
                       : regex ? kModAscii | kModWide | kModNocase | kModFullword | kModPrivate
                               : kModPrivate;
    if (m & ~allowed) fail("invalid modifier combination for \"" + s->id + "\"", s->line);
    if ((m & kModXor) && (m & kModNocase)) fail("invalid modifier combination: xor nocase");
    if ((m & (kModBase64 | kModBase64Wide)) && (m & (kModNocase | kModXor | kModFullword)))
      fail("invalid modifier combination for base64");
  }

  uint8_t byte_value() {
    token t = expect_kind(token::type::number, "a number");
    if (t.value > 255) fail("xor key out of range", t.line);
    return uint8_t(t.value);
  }

  // --- Conditions ---

  struct typed {
    yara_expr e;
    vtype t = vtype::boolean;
  };

  void depth_check(int depth) {
    if (depth > kMaxExprDepth) fail("condition nested too deeply");
  }

  typed make_binary(cond_op op, typed a, typed b, vtype result) {
    typed r;
    r.t = result;
    bool opaque = a.t == vtype::real || a.t == vtype::text || a.t == vtype::any ||
                  b.t == vtype::real || b.t == vtype::text || b.t == vtype::any;
    if (opaque) {
      r.e = unsupported(a.e.kind == yara_expr::node::unsupported ? a.e.text
                        : b.e.kind == yara_expr::node::unsupported
                            ? b.e.text
                            : std::string("floating-point or text values"));
      return r;
    }
    r.e.kind = yara_expr::node::binary;
    r.e.op = op;
    r.e.kids.push_back(std::move(a.e));
    r.e.kids.push_back(std::move(b.e));
    return r;
  }

  yara_expr expr_or(int depth) { return or_level(depth).e; }

  typed or_level(int depth) { return logic_level(depth, true); }

  // `or` over `and` over `not`, both left to right.
  typed logic_level(int depth, bool is_or) {
    depth_check(depth);
    auto operand = [&] { return is_or ? logic_level(depth + 1, false) : not_level(depth + 1); };
    typed a = operand();
    while (accept(is_or ? "or" : "and")) {
      a = make_binary(is_or ? cond_op::lor : cond_op::land, std::move(a), operand(),
                      vtype::boolean);
    }
    return a;
  }

  typed not_level(int depth) {
    depth_check(depth);
    if (accept("not")) {
      typed a = not_level(depth + 1);
      if (a.e.kind == yara_expr::node::unsupported) return {std::move(a.e), vtype::boolean};
      typed r;
      r.e.kind = yara_expr::node::unary;
      r.e.op = cond_op::lnot;
      r.e.kids.push_back(std::move(a.e));
      return r;
    }
    if (accept("defined")) fail("syntax error, unexpected 'defined'");
    return equality_level(depth + 1);
  }

  void need_value(const typed& a) {
    if (a.t == vtype::boolean) fail("wrong type for operator");
  }

  typed equality_level(int depth) {
    depth_check(depth);
    typed a = relation_level(depth + 1);
    while (true) {
      const token& t = peek();
      static const std::set<std::string> text_ops = {
          "contains", "icontains", "startswith", "istartswith", "endswith", "iendswith", "iequals"};
      if (t.kind == token::type::punct && (t.text == "==" || t.text == "!=")) {
        cond_op op = t.text == "==" ? cond_op::eq : cond_op::ne;
        next();
        need_value(a);
        typed b = relation_level(depth + 1);
        need_value(b);
        a = make_binary(op, std::move(a), std::move(b), vtype::boolean);
      } else if (t.kind == token::type::ident && text_ops.count(t.text)) {
        next();
        typed b = relation_level(depth + 1);
        a = {unsupported("text comparisons of module values"), vtype::boolean};
      } else if (t.kind == token::type::ident && t.text == "matches") {
        next();
        skip_blank();
        if (has_peek_ || pos_ >= text_.size() || text_[pos_] != '/')
          fail("syntax error, expected a regular expression");
        ++pos_;
        yara_string tmp;
        lex_regex(&tmp);
        a = {unsupported("regular expressions on module values"), vtype::boolean};
      } else {
        return a;
      }
    }
  }

  typed relation_level(int depth) {
    depth_check(depth);
    typed a = bit_level(depth + 1, 0);
    while (true) {
      const token& t = peek();
      static const std::map<std::string, cond_op> ops = {
          {"<", cond_op::lt}, {"<=", cond_op::le}, {">", cond_op::gt}, {">=", cond_op::ge}};
      if (t.kind == token::type::ident && t.text == "of") return of_expr(std::move(a), false);
      if (t.kind != token::type::punct) return a;
      if (t.text == "%") {
        next();
        if (peek().kind != token::type::ident || peek().text != "of")
          fail("syntax error, unexpected '%'");
        return of_expr(std::move(a), true);
      }
      auto it = ops.find(t.text);
      if (it == ops.end()) return a;
      next();
      need_value(a);
      typed b = bit_level(depth + 1, 0);
      need_value(b);
      a = make_binary(it->second, std::move(a), std::move(b), vtype::boolean);
    }
  }

  // Binary operators from | (level 0) down to * \ % (level 5).
  typed bit_level(int depth, int level) {
    depth_check(depth);
    if (level == 6) return unary_level(depth + 1);
    static const std::vector<std::map<std::string, cond_op>> levels = {
        {{"|", cond_op::bor}},
        {{"^", cond_op::bxor}},
        {{"&", cond_op::band}},
        {{"<<", cond_op::shl}, {">>", cond_op::shr}},
        {{"+", cond_op::add}, {"-", cond_op::sub}},
        {{"*", cond_op::mul}, {"\\", cond_op::div}, {"%", cond_op::mod}}};
    typed a = bit_level(depth + 1, level + 1);
    while (true) {
      const token& t = peek();
      if (t.kind != token::type::punct) return a;
      auto it = levels[size_t(level)].find(t.text);
      if (it == levels[size_t(level)].end()) return a;
      if (t.text == "%" && followed_by_of()) return a;
      next();
      need_value(a);
      typed b = bit_level(depth + 1, level + 1);
      need_value(b);
      vtype rt = a.t == vtype::integer && b.t == vtype::integer ? vtype::integer : vtype::any;
      if (it->second == cond_op::div && b.e.kind == yara_expr::node::number && b.e.value == 0)
        fail("division by zero");
      a = make_binary(it->second, std::move(a), std::move(b), rt);
    }
  }

  // Whether the text after the '%' just peeked is the keyword `of` (a percentage quantifier).
  bool followed_by_of() {
    size_t save_pos = pos_;
    int save_line = line_;
    skip_blank();
    bool of = text_.compare(pos_, 2, "of") == 0 &&
              (pos_ + 2 >= text_.size() || !ident_char(text_[pos_ + 2]));
    pos_ = save_pos;
    line_ = save_line;
    return of;
  }

  typed unary_level(int depth) {
    depth_check(depth);
    bool neg = accept("-");
    if (neg || accept("~")) {
      typed a = unary_level(depth + 1);
      need_value(a);
      if (neg && a.e.kind == yara_expr::node::number) {
        a.e.value = int64_t(0 - uint64_t(a.e.value));
        return a;
      }
      if (a.t != vtype::integer) return {not_integer(a.e), vtype::any};
      typed r;
      r.t = vtype::integer;
      r.e.kind = yara_expr::node::unary;
      r.e.op = neg ? cond_op::neg : cond_op::bnot;
      r.e.kids.push_back(std::move(a.e));
      return r;
    }
    return term(depth + 1);
  }

  yara_expr range_kid(int depth) { return bit_level(depth + 1, 0).e; }

  void range(yara_expr* e, int depth) {
    expect("(");
    typed lo = bit_level(depth + 1, 0);
    need_value(lo);
    expect("..");
    typed hi = bit_level(depth + 1, 0);
    need_value(hi);
    expect(")");
    e->kids.push_back(std::move(lo.e));
    e->kids.push_back(std::move(hi.e));
    if (lo.t != vtype::integer || hi.t != vtype::integer)
      *e = not_integer(lo.t != vtype::integer ? lo.e : hi.e);
  }

  // The index of the string an identifier names in the current rule; marks it used.
  void use_string(const std::string& id, int line) {
    if (id == "$") {
      if (!in_for_of_) fail("syntax error, unexpected '$'", line);
      return;
    }
    for (size_t i = 0; i < rule_->strings.size(); ++i) {
      if (rule_->strings[i].id == id) {
        used_[i] = true;
        return;
      }
    }
    fail("undefined string identifier \"" + id + "\"", line);
  }

  typed string_term(const token& t, int depth) {
    typed r;
    if (t.text.back() == '*') fail("syntax error, unexpected '*'", t.line);
    use_string(t.text, t.line);
    r.e.text = t.text;
    switch (t.kind) {
      case token::type::str_id:
        r.t = vtype::boolean;
        r.e.kind = yara_expr::node::string_match;
        if (accept("at")) {
          r.e.kind = yara_expr::node::string_at;
          typed at = bit_level(depth + 1, 0);
          need_value(at);
          r.e.kids.push_back(std::move(at.e));
          if (at.t != vtype::integer) r.e = not_integer(at.e);
        } else if (accept("in")) {
          r.e.kind = yara_expr::node::string_in;
          range(&r.e, depth);
        }
        return r;
      case token::type::str_count:
        r.t = vtype::integer;
        r.e.kind = yara_expr::node::string_count;
        if (accept("in")) range(&r.e, depth);
        return r;
      default:
        r.t = vtype::integer;
        r.e.kind = t.kind == token::type::str_offset ? yara_expr::node::string_offset
                                                     : yara_expr::node::string_length;
        if (accept("[")) {
          typed i = bit_level(depth + 1, 0);
          need_value(i);
          expect("]");
          r.e.kids.push_back(std::move(i.e));
        } else {
          yara_expr one;
          one.value = 1;
          r.e.kids.push_back(std::move(one));
        }
        return r;
    }
  }

  typed term(int depth) {
    depth_check(depth);
    token t = next();
    typed r;
    switch (t.kind) {
      case token::type::number:
        r.t = vtype::integer;
        r.e.value = t.value;
        return r;
      case token::type::real:
        return {unsupported("floating-point values"), vtype::real};
      case token::type::text:
        return {unsupported("text values"), vtype::text};
      case token::type::str_id:
      case token::type::str_count:
      case token::type::str_offset:
      case token::type::str_length:
        return string_term(t, depth);
      case token::type::punct:
        if (t.text == "(") {
          typed inner = or_level(depth + 1);
          expect(")");
          return inner;
        }
        break;
      case token::type::ident:
        return ident_term(t, depth);
      default:
        break;
    }
    fail("syntax error, unexpected " + describe(t), t.line);
  }

  typed ident_term(const token& t, int depth) {
    typed r;
    uint8_t form = 0;
    if (t.text == "true" || t.text == "false") {
      r.e.value = t.text == "true";
      return r;
    }
    if (t.text == "filesize") {
      r.t = vtype::integer;
      r.e.kind = yara_expr::node::filesize;
      return r;
    }
    if (t.text == "entrypoint") return {unsupported("entrypoint"), vtype::integer};
    if (t.text == "all" || t.text == "any" || t.text == "none") {
      if (peek().kind != token::type::ident || peek().text != "of")
        fail("syntax error, unexpected '" + t.text + "'", t.line);
      typed q;
      q.e.kind = yara_expr::node::number;
      q.e.text = t.text;
      return of_expr(std::move(q), false);
    }
    if (t.text == "for") return for_expr(depth);
    if (read_function(t.text, &form)) {
      expect("(");
      typed at = or_level(depth + 1);
      need_value(at);
      expect(")");
      r.t = vtype::integer;
      r.e.kind = yara_expr::node::read;
      r.e.value = form;
      r.e.kids.push_back(std::move(at.e));
      if (at.t != vtype::integer) r.e = not_integer(at.e);
      return r;
    }
    if (loop_vars_.count(t.text)) {
      return {unsupported("for loops over integers or module values"), vtype::any};
    }
    if (keywords().count(t.text)) fail("syntax error, unexpected '" + t.text + "'", t.line);
    if (ns_->modules.count(t.text)) {
      module_chain(depth);
      return {unsupported("module \"" + t.text + "\""), vtype::any};
    }
    if (ns_->rules.count(t.text)) {
      r.e.kind = yara_expr::node::rule_ref;
      r.e.text = t.text;
      return r;
    }
    fail("undefined identifier \"" + t.text + "\"", t.line);
  }

  // Fields, indexes and calls after a module name; their meaning is the module's business.
  void module_chain(int depth) {
    while (true) {
      if (accept(".")) {
        expect_kind(token::type::ident, "a field name");
      } else if (accept("[")) {
        or_level(depth + 1);
        expect("]");
      } else if (accept("(")) {
        if (!accept(")")) {
          do {
            if (peek().kind == token::type::punct && peek().text == "/") {
              next();
              yara_string tmp;
              has_peek_ = false;
              lex_regex(&tmp);
            } else {
              or_level(depth + 1);
            }
          } while (accept(","));
          expect(")");
        }
      } else {
        return;
      }
    }
  }

  // The strings of a set: `them` or a parenthesized list of ids, each possibly ending in '*'.
  std::vector<std::string> string_set() {
    std::vector<std::string> ids;
    if (accept("them")) {
      if (rule_->strings.empty()) fail("undefined string identifier \"$*\"");
      for (size_t i = 0; i < rule_->strings.size(); ++i) {
        used_[i] = true;
        ids.push_back("#" + std::to_string(i));
      }
      return ids;
    }
    expect("(");
    do {
      token t = expect_kind(token::type::str_id, "a string identifier");
      bool wildcard = t.text.back() == '*';
      std::string prefix = wildcard ? t.text.substr(0, t.text.size() - 1) : t.text;
      bool found = false;
      for (size_t i = 0; i < rule_->strings.size(); ++i) {
        const std::string& id = rule_->strings[i].id;
        if (wildcard ? id.compare(0, prefix.size(), prefix) == 0 : id == prefix) {
          used_[i] = true;
          found = true;
          ids.push_back(std::string("#").append(std::to_string(i)));
        }
      }
      if (!found) fail("undefined string identifier \"" + t.text + "\"", t.line);
    } while (accept(","));
    expect(")");
    return ids;
  }

  // `<quantifier> of <set>`, the quantifier already parsed (a number node holding "all", "any"
  // or "none" as text for the keywords).
  typed of_expr(typed quant, bool percent) {
    expect("of");
    typed r;
    r.e.kind = yara_expr::node::of;
    r.e.set = string_set();
    set_quantifier(&r.e, std::move(quant), percent);
    return r;
  }

  void set_quantifier(yara_expr* e, typed quant, bool percent) {
    const std::string& word = quant.e.text;
    if (quant.e.kind == yara_expr::node::number && word == "all") {
      e->q = yara_expr::quant::all;
    } else if (quant.e.kind == yara_expr::node::number && word == "any") {
      e->q = yara_expr::quant::any;
    } else if (quant.e.kind == yara_expr::node::number && word == "none") {
      e->q = yara_expr::quant::none;
    } else {
      need_value(quant);
      e->q = yara_expr::quant::count;
      e->kids.push_back(std::move(quant.e));
      if (percent)
        *e = unsupported("percentage quantifiers");
      else if (quant.t != vtype::integer)
        *e = not_integer(e->kids.back());
    }
  }

  typed parse_quantifier(int depth, bool* percent) {
    *percent = false;
    const token& t = peek();
    if (t.kind == token::type::ident && (t.text == "all" || t.text == "any" || t.text == "none")) {
      typed q;
      q.e.text = next().text;
      return q;
    }
    typed q = bit_level(depth + 1, 0);
    if (accept("%")) *percent = true;
    return q;
  }

  typed for_expr(int depth) {
    bool percent = false;
    typed quant = parse_quantifier(depth, &percent);
    if (accept("of")) {
      typed r;
      r.e.kind = yara_expr::node::for_of;
      r.e.set = string_set();
      expect(":");
      expect("(");
      bool was = in_for_of_;
      in_for_of_ = true;
      typed body = or_level(depth + 1);
      in_for_of_ = was;
      expect(")");
      set_quantifier(&r.e, std::move(quant), percent);
      if (r.e.kind == yara_expr::node::unsupported) return r;
      if (body.e.kind == yara_expr::node::unsupported) return {std::move(body.e), vtype::boolean};
      r.e.kids.insert(r.e.kids.begin(), std::move(body.e));  // kids: body, then quantifier
      return r;
    }
    std::vector<std::string> vars;
    do {
      vars.push_back(expect_kind(token::type::ident, "a loop variable").text);
      if (loop_vars_.count(vars.back())) fail("duplicated loop variable");
    } while (accept(","));
    expect("in");
    if (accept("(")) {
      typed first = bit_level(depth + 1, 0);
      if (accept("..")) {
        bit_level(depth + 1, 0);
      } else {
        while (accept(",")) bit_level(depth + 1, 0);
      }
      expect(")");
      (void)first;
    } else {
      token m = expect_kind(token::type::ident, "an iterable");
      if (!ns_->modules.count(m.text)) fail("undefined identifier \"" + m.text + "\"", m.line);
      module_chain(depth);
    }
    expect(":");
    expect("(");
    for (const std::string& v : vars) loop_vars_.insert(v);
    or_level(depth + 1);
    for (const std::string& v : vars) loop_vars_.erase(v);
    expect(")");
    return {unsupported("for loops over integers or module values"), vtype::boolean};
  }

  std::string label_;
  const std::string& text_;
  const include_reader& read_;
  ns_state* ns_;
  yara_file* out_;
  size_t pos_ = 0;
  int line_ = 1;
  token peeked_;
  bool has_peek_ = false;
  yara_rule* rule_ = nullptr;
  std::vector<bool> used_;
  bool in_for_of_ = false;
  std::set<std::string> loop_vars_;
};

}  // namespace

bool parse_yara(const std::string& label, const std::string& text, const include_reader& read,
                yara_file* out, std::string* err) {
  ns_state ns;
  try {
    parser p(label, text, read, &ns, out);
    p.parse_file();
  } catch (const parse_error& e) {
    *err = e.label + ":" + std::to_string(e.line) + ": " + e.message;
    return false;
  }
  return true;
}

}  // namespace qorvex
