#include "qorvex/src/yara_strings.h"

#include <hs/hs.h>

#include <cctype>
#include <cstdio>

namespace qorvex {
namespace {

std::string hex_byte(uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02x", b);
  return buf;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Lengths of a piece of a hex string (max SIZE_MAX: unbounded).
struct span {
  size_t min = 0, max = 0;
  bool long_jump = false;  // a jump over the chaining threshold
};

size_t add_sat(size_t a, size_t b) { return a > SIZE_MAX - b ? SIZE_MAX : a + b; }

class hex_parser {
 public:
  hex_parser(std::string_view body, hex_info* out) : s_(body), out_(out) {}

  bool run(std::string* err) {
    span total;
    std::string re;
    if (!sequence(&re, &out_->tokens, &total, false, 0)) return *err = err_, false;
    skip();
    if (pos_ != s_.size()) return *err = "syntax error in hex string", false;
    out_->regex = re;
    out_->fixed = total.min == total.max;
    out_->min_length = total.min;
    out_->max_length = total.max;
    out_->longest_part = std::max(longest_, stretch_);
    return true;
  }

 private:
  void skip() {
    while (pos_ < s_.size()) {
      if (std::isspace(static_cast<unsigned char>(s_[pos_]))) {
        ++pos_;
      } else if (s_.compare(pos_, 2, "//") == 0) {
        while (pos_ < s_.size() && s_[pos_] != '\n') ++pos_;
      } else if (s_.compare(pos_, 2, "/*") == 0) {
        size_t end = s_.find("*/", pos_ + 2);
        pos_ = end == std::string_view::npos ? s_.size() : end + 2;
      } else {
        return;
      }
    }
  }

  bool fail(const char* message) {
    err_ = message;
    return false;
  }

  bool number(size_t* v) {
    skip();
    size_t start = pos_;
    *v = 0;
    while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_]))) {
      *v = *v * 10 + size_t(s_[pos_] - '0');
      if (*v > (size_t(1) << 31)) return fail("invalid jump length");
      ++pos_;
    }
    return pos_ > start;
  }

  // A jump after its '['.
  bool jump(std::string* re, hex_token* t, span* sp, bool in_alt) {
    size_t lo = 0, hi = 0;
    bool has_lo = number(&lo);
    skip();
    bool unbounded = false;
    if (pos_ < s_.size() && s_[pos_] == '-') {
      ++pos_;
      if (!number(&hi)) unbounded = true;
      if (!has_lo) lo = 0;
    } else {
      if (!has_lo) return fail("syntax error in hex string");
      hi = lo;
    }
    skip();
    if (pos_ >= s_.size() || s_[pos_] != ']') return fail("syntax error in hex string");
    ++pos_;
    if (!unbounded && hi < lo) return fail("invalid jump length");
    bool long_jump = unbounded || hi > kYaraChainThreshold;
    if (in_alt && unbounded) return fail("unbounded jumps not allowed inside alternation (|)");
    if (in_alt && long_jump) return fail("jumps over 200 bytes not allowed inside alternation (|)");
    if ((unbounded ? lo : hi) > kMaxJump) out_->too_long_jump = true;
    *re += unbounded  ? ".{" + std::to_string(lo) + ",}"
           : lo == hi ? ".{" + std::to_string(lo) + "}"
                      : ".{" + std::to_string(lo) + "," + std::to_string(hi) + "}";
    sp->min = lo;
    sp->max = unbounded ? SIZE_MAX : hi;
    t->jump = true;
    t->lo = uint32_t(lo);
    t->hi = unbounded ? UINT32_MAX : uint32_t(hi);
    sp->long_jump = long_jump;
    return true;
  }

  // Tokens up to a '|', ')' or the end; a sequence neither starts nor ends with a jump.
  bool sequence(std::string* re, hex_sequence* tokens, span* total, bool in_alt, int depth) {
    if (depth > 32) return fail("hex string nested too deeply");
    bool first = true, last_jump = false;
    while (true) {
      skip();
      if (pos_ >= s_.size() || s_[pos_] == '|' || s_[pos_] == ')') break;
      span sp;
      hex_token t;
      char c = s_[pos_];
      bool is_jump = false;
      if (c == '[') {
        ++pos_;
        if (first) return fail("syntax error in hex string: it starts with a jump");
        if (!jump(re, &t, &sp, in_alt)) return false;
        is_jump = true;
      } else if (c == '(') {
        ++pos_;
        if (!alternatives(re, &t, &sp, depth + 1)) return false;
      } else {
        if (pos_ + 1 >= s_.size()) return fail("syntax error in hex string");
        char hi = s_[pos_], lo = s_[pos_ + 1];
        int h = hi == '?' ? 0 : hex_digit(hi), l = lo == '?' ? 0 : hex_digit(lo);
        if (h < 0 || l < 0) return fail("syntax error in hex string");
        pos_ += 2;
        uint8_t mask = uint8_t((hi == '?' ? 0 : 0xf0) | (lo == '?' ? 0 : 0x0f));
        uint8_t value = uint8_t(h << 4 | l);
        if (mask == 0) {
          *re += '.';
        } else if (mask == 0xff) {
          *re += hex_byte(value);
        } else {
          *re += '[';
          for (int v = 0; v < 256; ++v) {
            if ((uint8_t(v) & mask) == value) *re += hex_byte(uint8_t(v));
          }
          *re += ']';
        }
        t.mask = mask;
        t.value = value;
        sp.min = sp.max = 1;
      }
      tokens->push_back(std::move(t));
      append(total, sp, first, !in_alt);
      first = false;
      last_jump = is_jump;
    }
    if (first) return fail("syntax error in hex string: empty");
    if (last_jump) return fail("syntax error in hex string: it ends with a jump");
    return true;
  }

  // Joins a piece to what came before it; at the top level, tracks the stretches between long
  // jumps, which yara matches separately.
  void append(span* total, const span& sp, bool first, bool top) {
    if (top) {
      if (sp.long_jump) {
        longest_ = std::max(longest_, stretch_);
        stretch_ = 0;
      } else {
        stretch_ = add_sat(stretch_, sp.max);
      }
    }
    if (first) {
      *total = sp;
      return;
    }
    total->min = add_sat(total->min, sp.min);
    total->max = add_sat(total->max, sp.max);
  }

  bool alternatives(std::string* re, hex_token* t, span* sp, int depth) {
    *re += "(?:";
    bool first = true;
    while (true) {
      span one;
      t->alternatives.emplace_back();
      if (!sequence(re, &t->alternatives.back(), &one, true, depth)) return false;
      if (first) {
        *sp = one;
      } else {
        sp->min = std::min(sp->min, one.min);
        sp->max = std::max(sp->max, one.max);
      }
      first = false;
      skip();
      if (pos_ < s_.size() && s_[pos_] == '|') {
        ++pos_;
        *re += '|';
        continue;
      }
      if (pos_ < s_.size() && s_[pos_] == ')') {
        ++pos_;
        *re += ')';
        return true;
      }
      return fail("syntax error in hex string: unclosed alternative");
    }
  }

  std::string_view s_;
  hex_info* out_;
  size_t pos_ = 0;
  size_t longest_ = 0, stretch_ = 0;
  std::string err_;
};

// The bytes as a literal expression.
std::string literal(std::string_view bytes) {
  std::string re;
  for (char c : bytes) re += hex_byte(uint8_t(c));
  return re;
}

std::string widen(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    out += c;
    out += '\0';
  }
  return out;
}

// yara's fullword test around a match: no letter or digit just before or after it (for wide
// strings, no letter or digit followed by a zero byte). As context the matcher checks alongside.
std::string fullword(const std::string& re, bool wide) {
  if (!wide) return "(?:\\A|[^0-9A-Za-z])(?:" + re + ")(?:[^0-9A-Za-z]|\\z)";
  return "(?:\\A.?|[^0-9A-Za-z]\\x00|.[^\\x00])(?:" + re + ")(?:\\z|.\\z|[^0-9A-Za-z].|.[^\\x00])";
}

// Checks a regular expression of yara's dialect and rewrites it for the matcher; a reason when it
// holds something the two read differently.
std::string translate_regex(std::string_view src, std::string* out) {
  std::string re;
  size_t i = 0;
  bool in_class = false;
  while (i < src.size()) {
    char c = src[i];
    if (c == '\\') {
      if (i + 1 >= src.size()) return "a regular expression ending in '\\'";
      char e = src[i + 1];
      if (std::isalnum(static_cast<unsigned char>(e)) &&
          std::string_view("xntrfawWsSdDbB").find(e) == std::string_view::npos) {
        return std::string("the escape \\") + e + " in a regular expression";
      }
      if ((e == 'b' || e == 'B') && in_class) return "\\b inside a class";
      if (e == 'x') {
        if (i + 3 >= src.size() + 0 || hex_digit(src[i + 2]) < 0 || hex_digit(src[i + 3]) < 0)
          return "a bad \\x escape";
        re += src.substr(i, 4);
        i += 4;
        continue;
      }
      if (e == 'a') {
        re += "\\x07";
      } else if (std::isalnum(static_cast<unsigned char>(e))) {
        re += src.substr(i, 2);
      } else {
        re += hex_byte(uint8_t(e));
      }
      i += 2;
      continue;
    }
    if (in_class) {
      if (c == ']') in_class = false;
      if (c == '[') return "'[' inside a class";
      re += c;
      ++i;
      continue;
    }
    if (c == '[') {
      in_class = true;
      re += c;
      ++i;
      if (i < src.size() && src[i] == '^') re += src[i++];
      if (i < src.size() && src[i] == ']') {
        re += "\\x5d";
        ++i;
      }
      continue;
    }
    if (c == '{') {
      // yara reads {n}, {n,}, {,m} and {n,m} as repeats and any other '{' as itself.
      size_t end = src.find('}', i);
      std::string_view inner = end == std::string_view::npos ? "" : src.substr(i + 1, end - i - 1);
      size_t comma = inner.find(',');
      auto digits = [](std::string_view d) {
        for (char x : d) {
          if (!std::isdigit(static_cast<unsigned char>(x))) return false;
        }
        return true;
      };
      std::string_view lo = inner.substr(0, comma);
      std::string_view hi = comma == std::string_view::npos ? "" : inner.substr(comma + 1);
      bool repeat = !inner.empty() && digits(lo) && digits(hi) && !(lo.empty() && hi.empty()) &&
                    (comma != std::string_view::npos || !lo.empty());
      if (!repeat) {
        re += "\\x7b";
        ++i;
        continue;
      }
      if (lo.size() > 6 || hi.size() > 6) return "a repeat interval too large";
      re += '{';
      re += lo.empty() ? std::string_view("0") : std::string_view(lo);
      if (comma != std::string_view::npos) re.append(",").append(hi);
      re += '}';
      i = end + 1;
      continue;
    }
    if (c == '$') {
      re += "\\z";
      ++i;
      continue;
    }
    if (c == '(' && i + 1 < src.size() && src[i + 1] == '?') return "a '(?' group";
    re += c;
    ++i;
  }
  if (in_class) return "an unterminated class";
  *out = re;
  return "";
}

// What the matcher makes of an expression: whether it accepts it and its match widths.
std::string check_expression(const std::string& re, unsigned flags, unsigned* min_width,
                             unsigned* max_width) {
  hs_expr_info_t* info = nullptr;
  hs_compile_error_t* cerr = nullptr;
  if (hs_expression_info(re.c_str(), flags, &info, &cerr) != HS_SUCCESS) {
    std::string why = std::string("the matcher refuses it: ") + cerr->message;
    hs_free_compile_error(cerr);
    return why;
  }
  *min_width = info->min_width;
  *max_width = info->max_width;
  bool odd = info->unordered_matches || info->matches_at_eod || info->matches_only_at_eod;
  free(info);
  if (*min_width == 0) return "it can match empty data";
  (void)odd;
  return "";
}

// A bound on the ways to match a sequence: jumps and alternatives multiply them.
size_t paths(const hex_sequence& s) {
  size_t n = 1;
  for (const hex_token& t : s) {
    size_t here = 1;
    if (t.jump) {
      here = t.hi == UINT32_MAX ? SIZE_MAX : size_t(t.hi - t.lo) + 1;
    } else if (!t.alternatives.empty()) {
      here = 0;
      for (const hex_sequence& a : t.alternatives) here = add_sat(here, paths(a));
    }
    n = here != 0 && n > SIZE_MAX / here ? SIZE_MAX : n * here;
  }
  return n;
}

size_t token_count(const hex_sequence& s) {
  size_t n = s.size();
  for (const hex_token& t : s) {
    for (const hex_sequence& a : t.alternatives) n += token_count(a);
  }
  return n;
}

// The longest run of plain bytes at a known distance from the start: *end is where it ends,
// counted from the start of a match.
std::string anchor_of(const hex_sequence& s, size_t* end) {
  std::string best, run;
  size_t at = 0, best_end = 0;
  for (const hex_token& t : s) {
    if (!t.jump && t.alternatives.empty() && t.mask == 0xff) {
      run += char(t.value);
      ++at;
      if (run.size() > best.size()) best = run, best_end = at;
      continue;
    }
    run.clear();
    if (t.jump) {
      if (t.lo != t.hi) break;
      at += t.lo;
    } else if (t.alternatives.empty()) {
      ++at;
    } else {
      break;  // alternatives may differ in length: what follows is at no known distance
    }
  }
  *end = best_end;
  return best;
}

// The tokens from i on, then what follows (the rest of the enclosing sequences).
struct continuation {
  const hex_sequence* s;
  size_t i;
  const continuation* next;
};

bool match_from(const hex_sequence& s, size_t i, const uint8_t* d, size_t n, size_t pos,
                const continuation* k) {
  for (; i < s.size(); ++i) {
    const hex_token& t = s[i];
    if (t.jump) {
      for (size_t j = t.lo; j <= t.hi && pos + j <= n; ++j) {
        if (match_from(s, i + 1, d, n, pos + j, k)) return true;
      }
      return false;
    }
    if (!t.alternatives.empty()) {
      continuation after{&s, i + 1, k};
      for (const hex_sequence& a : t.alternatives) {
        if (match_from(a, 0, d, n, pos, &after)) return true;
      }
      return false;
    }
    if (pos >= n || (d[pos] & t.mask) != t.value) return false;
    ++pos;
  }
  return k == nullptr || match_from(*k->s, k->i, d, n, pos, k->next);
}

}  // namespace

bool hex_matches_at(const hex_sequence& s, const uint8_t* data, size_t n) {
  return match_from(s, 0, data, n, 0, nullptr);
}

size_t hex_verify_cost(const hex_sequence& s) {
  size_t p = paths(s), t = token_count(s);
  return p > SIZE_MAX / t ? SIZE_MAX : p * t;
}

bool parse_hex(std::string_view body, hex_info* out, std::string* err) {
  *out = hex_info();
  hex_parser p(body, out);
  return p.run(err);
}

std::string string_variants(const yara_string& s, bool positions,
                            std::vector<string_variant>* out) {
  out->clear();
  uint32_t m = s.modifiers;
  if (m & (kModBase64 | kModBase64Wide)) return "base64 strings";
  if (s.kind == yara_string::type::hex) {
    hex_info info;
    std::string err;
    if (!parse_hex(s.body, &info, &err)) return err;
    if (info.too_long_jump) return "a hex jump over 65536 bytes";
    if (info.longest_part > kYaraScanLimit) return "a hex string part that can pass 4096 bytes";
    if (positions && !info.fixed) return "offsets or counts of a string of varying length";
    unsigned lo = 0, hi = 0;
    std::string why = check_expression(info.regex, HS_FLAG_DOTALL, &lo, &hi);
    if (!why.empty()) return why;
    uint32_t length = info.fixed ? uint32_t(info.min_length) : 0;
    size_t anchor_end = 0;
    std::string anchor = anchor_of(info.tokens, &anchor_end);
    // A string with wildcards is an automaton of its own in the matcher's database; through its
    // longest plain part it is one more literal, and the rest is checked where that part is.
    if (anchor.size() >= kMinAnchor && anchor.size() < info.min_length &&
        info.max_length <= kYaraScanLimit && hex_verify_cost(info.tokens) <= kMaxVerifySteps) {
      string_variant v{literal(anchor), 0, length};
      v.verify = std::string(s.body);
      v.anchor_end = uint32_t(anchor_end);
      v.max_length = uint32_t(info.max_length);
      out->push_back(std::move(v));
      return "";
    }
    out->push_back({info.regex, HS_FLAG_DOTALL, length});
    return "";
  }
  bool wide = m & kModWide;
  bool ascii = (m & kModAscii) || !wide;
  if (s.kind == yara_string::type::regex) {
    if (wide) return "wide regular expressions";
    if (m & kModFullword) return "fullword regular expressions";
    std::string re;
    std::string why = translate_regex(s.body, &re);
    if (!why.empty()) return why;
    unsigned flags = ((m & kModNocase) || s.regex_nocase ? HS_FLAG_CASELESS : 0) |
                     (s.regex_dotall ? HS_FLAG_DOTALL : 0);
    unsigned lo = 0, hi = 0;
    why = check_expression(re, flags, &lo, &hi);
    if (!why.empty()) return why;
    if (hi > kYaraScanLimit) return "a regular expression whose matches can pass 4096 bytes";
    if (positions && lo != hi) return "offsets or counts of a string of varying length";
    out->push_back({re, flags, lo == hi ? lo : 0});
    return "";
  }
  // Text: each of its forms, each xor key.
  if (positions && (m & kModFullword)) return "offsets or counts of a fullword string";
  unsigned flags = (m & kModNocase) ? HS_FLAG_CASELESS : 0;
  for (bool w : {false, true}) {
    if (w ? !wide : !ascii) continue;
    std::string bytes = w ? widen(s.body) : s.body;
    std::string re;
    if (m & kModXor) {
      re = "(?:";
      for (int k = s.xor_min; k <= s.xor_max; ++k) {
        std::string x = bytes;
        for (char& c : x) c = char(uint8_t(c) ^ uint8_t(k));
        if (k != s.xor_min) re += '|';
        re += literal(x);
      }
      re += ")";
    } else {
      re = literal(bytes);
    }
    if (m & kModFullword) re = fullword(re, w);
    out->push_back({re, flags, (m & kModFullword) ? 0 : uint32_t(bytes.size())});
  }
  return "";
}

}  // namespace qorvex
