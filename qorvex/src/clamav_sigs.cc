#include "qorvex/src/clamav_sigs.h"

#include <hs/hs.h>

#include <cstdio>

#include "qorvex/src/clamav_db.h"
#include "qorvex/src/condition.h"

namespace qorvex {
namespace {

// Gaps and offsets that need the matcher to count bytes stay below this, or its automata grow
// huge; real signatures stay far below.
constexpr uint64_t kMaxGap = 65536;
constexpr size_t kMaxExprDepth = 64;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A decimal number of at most 10 digits.
bool number(std::string_view s, uint64_t* out) {
  if (s.empty() || s.size() > 10) return false;
  *out = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    *out = *out * 10 + uint64_t(c - '0');
  }
  return true;
}

struct token {
  enum kind_t { byte, gap, alt } kind = byte;
  uint8_t value = 0, mask = 0xff;
  uint64_t lo = 0, hi = 0;  // a gap's bounds
  bool unbounded = false;
  std::vector<std::vector<token>> alts;  // of bytes only
};

class body_parser {
 public:
  explicit body_parser(std::string_view s) : s_(s) {}

  // False with *err when malformed; *skip set when a construct is not reproduced.
  bool run(std::vector<token>* out, std::string* skip, std::string* err) {
    while (pos_ < s_.size() && skip->empty()) {
      char c = s_[pos_];
      if (c == '*') {
        ++pos_;
        token t;
        t.kind = token::gap;
        t.unbounded = true;
        out->push_back(t);
      } else if (c == '{') {
        token t;
        if (!gap(&t, err)) return false;
        if (t.hi > kMaxGap || t.lo > kMaxGap) *skip = "a gap longer than 65536 bytes";
        out->push_back(t);
      } else if (c == '(') {
        if (s_.size() - pos_ >= 3 && s_[pos_ + 2] == ')' &&
            std::string_view("BLW").find(s_[pos_ + 1]) != std::string_view::npos) {
          *skip = "boundary markers (B), (L) and (W) are not matched by this engine";
          break;
        }
        ++pos_;
        token t;
        t.kind = token::alt;
        if (!alternatives(&t, err)) return false;
        out->push_back(std::move(t));
      } else if (c == '!' || c == '[') {
        *skip = c == '!' ? "negated alternatives are not matched by this engine"
                         : "[x-y] byte ranges are not matched by this engine";
      } else {
        token t;
        if (!byte(&t, err)) return false;
        out->push_back(t);
      }
    }
    if (!skip->empty()) return true;
    if (out->empty()) return *err = "empty body", false;
    if (out->front().kind == token::gap || out->back().kind == token::gap)
      *skip = "the body starts or ends with a gap";
    return true;
  }

 private:
  bool byte(token* t, std::string* err) {
    if (s_.size() - pos_ < 2) return *err = "a body ends inside a byte", false;
    char hi = s_[pos_], lo = s_[pos_ + 1];
    int h = hi == '?' ? 0 : hex_digit(hi), l = lo == '?' ? 0 : hex_digit(lo);
    if (h < 0 || l < 0) return *err = "bad character in body", false;
    pos_ += 2;
    t->kind = token::byte;
    t->value = uint8_t(h << 4 | l);
    t->mask = uint8_t((hi == '?' ? 0 : 0xf0) | (lo == '?' ? 0 : 0x0f));
    return true;
  }

  // {n} {-n} {n-} {n-m}
  bool gap(token* t, std::string* err) {
    size_t end = s_.find('}', pos_);
    if (end == std::string_view::npos) return *err = "unterminated {", false;
    std::string_view in = s_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    t->kind = token::gap;
    size_t dash = in.find('-');
    bool ok;
    if (dash == std::string_view::npos) {
      ok = number(in, &t->lo);
      t->hi = t->lo;
    } else if (dash == 0) {
      ok = number(in.substr(1), &t->hi);
    } else if (dash + 1 == in.size()) {
      ok = number(in.substr(0, dash), &t->lo);
      t->unbounded = true;
    } else {
      ok = number(in.substr(0, dash), &t->lo) && number(in.substr(dash + 1), &t->hi) &&
           t->lo <= t->hi;
    }
    if (!ok) return *err = "bad gap {" + std::string(in) + "}", false;
    return true;
  }

  bool alternatives(token* t, std::string* err) {
    t->alts.emplace_back();
    while (true) {
      if (pos_ >= s_.size()) return *err = "unterminated (", false;
      char c = s_[pos_];
      if (c == '|' || c == ')') {
        if (t->alts.back().empty()) return *err = "an empty alternative", false;
        ++pos_;
        if (c == ')') return true;
        t->alts.emplace_back();
        continue;
      }
      token b;
      if (!byte(&b, err)) return false;
      t->alts.back().push_back(b);
    }
  }

  std::string_view s_;
  size_t pos_ = 0;
};

bool is_letter(uint8_t b) { return (b | 0x20) >= 'a' && (b | 0x20) <= 'z'; }

void put_byte(uint8_t b, std::string* re) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02x", b);
  *re += buf;
}

// Renders one byte token; false when the form cannot be rendered exactly.
bool render_byte(const token& t, bool nocase, bool wide, std::string* re) {
  if (t.mask == 0xff) {
    if (nocase && is_letter(t.value)) {
      *re += '[';
      put_byte(t.value | 0x20, re);
      put_byte(t.value & ~0x20, re);
      *re += ']';
    } else {
      put_byte(t.value, re);
    }
    if (wide) put_byte(0, re);
    return true;
  }
  // Wide and caseless forms of wildcards are left to the other engine's own reading.
  if (wide || (nocase && t.mask != 0)) return false;
  if (t.mask == 0) {
    *re += '.';
    return true;
  }
  *re += '[';
  for (int v = 0; v < 256; ++v) {
    if ((uint8_t(v) & t.mask) == t.value) put_byte(uint8_t(v), re);
  }
  *re += ']';
  return true;
}

// One form of a body; false with a reason when it cannot be matched exactly.
bool render(const std::vector<token>& toks, bool nocase, bool wide, std::string* re, uint64_t* min,
            uint64_t* max, std::string* skip) {
  *min = *max = 0;
  const char* wild = "wide or caseless forms of wildcards are not matched by this engine";
  for (const token& t : toks) {
    if (t.kind == token::byte) {
      if (!render_byte(t, nocase, wide, re)) return *skip = wild, false;
      ++*min;
      ++*max;
    } else if (t.kind == token::gap) {
      if (wide) return *skip = wild, false;
      *re += ".{" + std::to_string(t.lo) + "," + (t.unbounded ? "" : std::to_string(t.hi)) + "}";
      *min += t.lo;
      *max = t.unbounded || *max == UINT64_MAX ? UINT64_MAX : *max + t.hi;
    } else {
      *re += "(?:";
      uint64_t lo = UINT64_MAX, hi = 0;
      for (size_t a = 0; a < t.alts.size(); ++a) {
        if (a > 0) *re += '|';
        for (const token& b : t.alts[a]) {
          if (!render_byte(b, nocase, wide, re)) return *skip = wild, false;
        }
        lo = std::min<uint64_t>(lo, t.alts[a].size());
        hi = std::max<uint64_t>(hi, t.alts[a].size());
      }
      *re += ')';
      *min += lo;
      if (*max != UINT64_MAX) *max += hi;
    }
  }
  if (wide) {
    *min *= 2;
    if (*max != UINT64_MAX) *max *= 2;
  }
  return true;
}

// Where a body may start.
struct clam_offset {
  enum kind_t { any, start, eof } kind = any;
  uint64_t n = 0, range = 0;
};

bool parse_offset(std::string_view s, clam_offset* out, std::string* skip, std::string* err) {
  if (s == "*") return true;
  if (s.substr(0, 2) == "EP" || s.substr(0, 2) == "SL" || s.substr(0, 2) == "SE" ||
      (s.size() > 1 && s[0] == 'S' && s[1] >= '0' && s[1] <= '9')) {
    *skip = "PE offset forms (EP, Sx, SL, SE) are not matched by this engine";
    return true;
  }
  if (s.substr(0, 2) == "VI" || s.substr(0, 1) == "$") {
    *skip = "offset macros are not matched by this engine";
    return true;
  }
  out->kind = clam_offset::start;
  if (s.substr(0, 4) == "EOF-") {
    out->kind = clam_offset::eof;
    s.remove_prefix(4);
  }
  size_t comma = s.find(',');
  bool ok = number(s.substr(0, comma), &out->n) &&
            (comma == std::string_view::npos || number(s.substr(comma + 1), &out->range));
  if (!ok) return *err = "bad offset '" + std::string(s) + "'", false;
  return true;
}

// One body with its offset, as the rule's string slot `slot`.
struct subsig {
  clam_offset off;
  clam_body body;
  bool fixed = false;     // every form has one length
  bool counted = false;   // the expression asks how often it matched
  bool prefixed = false;  // anchored through its expressions (variable length at a start offset)
};

// Parses "[offset:]body[::modifiers]" (sub-signatures) or a body alone with a given offset.
bool parse_subsig(std::string_view text, bool with_offset, subsig* out, std::string* skip,
                  std::string* err) {
  unsigned mods = 0;
  size_t colons = text.find("::");
  if (colons != std::string_view::npos) {
    for (char c : text.substr(colons + 2)) {
      size_t at = std::string_view("iwfa").find(c);
      if (at == std::string_view::npos)
        return *err = "bad modifier '" + std::string(1, c) + "'", false;
      mods |= 1u << at;
    }
    text = text.substr(0, colons);
  }
  if (with_offset) {
    size_t colon = text.find(':');
    if (colon != std::string_view::npos) {
      if (!parse_offset(text.substr(0, colon), &out->off, skip, err)) return false;
      if (!skip->empty()) return true;
      text.remove_prefix(colon + 1);
    }
  }
  if (text.find('/') != std::string_view::npos) {
    *skip = "regular expression sub-signatures are not matched by this engine";
    return true;
  }
  if (text.find("(>>") != std::string_view::npos || text.find("(<<") != std::string_view::npos ||
      text.find('#') != std::string_view::npos) {
    *skip = "byte comparison sub-signatures are not matched by this engine";
    return true;
  }
  return parse_clam_body(text, mods, &out->body, skip, err);
}

// The logical expression.
struct lnode {
  enum kind_t { leaf, land, lor, count } kind = leaf;
  uint32_t index = 0;
  char cmp = 0;  // '=', '>', '<'
  uint64_t x = 0;
  std::vector<lnode> kids;
};

class expr_parser {
 public:
  expr_parser(std::string_view s, size_t subsigs) : s_(s), n_(subsigs) {}

  bool run(lnode* out, std::string* skip, std::string* err) {
    skip_ = skip;
    if (!expr(out, 0)) return *err = err_, false;
    if (pos_ != s_.size()) return *err = "bad logical expression", false;
    return true;
  }

 private:
  bool fail(const char* why) {
    err_ = why;
    return false;
  }

  bool expr(lnode* out, size_t depth) {
    if (depth > kMaxExprDepth) return fail("logical expression nested too deeply");
    lnode first;
    if (!term(&first, depth)) return false;
    if (pos_ >= s_.size() || (s_[pos_] != '&' && s_[pos_] != '|')) {
      *out = std::move(first);
      return true;
    }
    char op = s_[pos_];
    out->kind = op == '&' ? lnode::land : lnode::lor;
    out->kids.push_back(std::move(first));
    while (pos_ < s_.size() && (s_[pos_] == '&' || s_[pos_] == '|')) {
      if (s_[pos_] != op && skip_->empty()) *skip_ = "& and | mixed without parentheses";
      ++pos_;
      lnode next;
      if (!term(&next, depth)) return false;
      out->kids.push_back(std::move(next));
    }
    return true;
  }

  bool term(lnode* out, size_t depth) {
    if (pos_ < s_.size() && s_[pos_] == '(') {
      ++pos_;
      if (!expr(out, depth + 1)) return false;
      if (pos_ >= s_.size() || s_[pos_] != ')') return fail("unbalanced parentheses");
      ++pos_;
    } else {
      uint64_t i = 0;
      if (!digits(&i)) return fail("bad logical expression");
      if (i >= n_) return fail("the expression names a missing sub-signature");
      out->kind = lnode::leaf;
      out->index = uint32_t(i);
    }
    if (pos_ < s_.size() && (s_[pos_] == '=' || s_[pos_] == '>' || s_[pos_] == '<')) {
      lnode c;
      c.kind = lnode::count;
      c.cmp = s_[pos_++];
      if (!digits(&c.x)) return fail("bad count in logical expression");
      if (pos_ < s_.size() && s_[pos_] == ',') {
        ++pos_;
        uint64_t y;
        if (!digits(&y)) return fail("bad count in logical expression");
        if (skip_->empty()) *skip_ = "counts of distinct sub-signatures (A>X,Y) are not reproduced";
      }
      c.kids.push_back(std::move(*out));
      *out = std::move(c);
    }
    return true;
  }

  bool digits(uint64_t* v) {
    size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '9' && pos_ - start < 10) ++pos_;
    return number(s_.substr(start, pos_ - start), v);
  }

  std::string_view s_;
  size_t n_;
  size_t pos_ = 0;
  std::string err_;
  std::string* skip_ = nullptr;
};

// The sub-signatures a count adds up: one, or the members of an | group.
bool count_members(const lnode& n, std::vector<uint32_t>* out) {
  if (n.kind == lnode::leaf) {
    out->push_back(n.index);
    return true;
  }
  if (n.kind != lnode::lor) return false;
  for (const lnode& k : n.kids) {
    if (!count_members(k, out)) return false;
  }
  return true;
}

// Marks counted sub-signatures; a reason when a count cannot be reproduced.
std::string mark_counts(const lnode& n, std::vector<subsig>* subs) {
  if (n.kind == lnode::count) {
    std::vector<uint32_t> members;
    if (!count_members(n.kids[0], &members))
      return "counts of & groups or of counts are not reproduced";
    for (uint32_t i : members) (*subs)[i].counted = true;
    return "";
  }
  for (const lnode& k : n.kids) {
    std::string why = mark_counts(k, subs);
    if (!why.empty()) return why;
  }
  return "";
}

bool needs_match(const lnode& n) {
  switch (n.kind) {
    case lnode::leaf:
      return true;
    case lnode::land:
      for (const lnode& k : n.kids) {
        if (needs_match(k)) return true;
      }
      return false;
    case lnode::lor:
      for (const lnode& k : n.kids) {
        if (!needs_match(k)) return false;
      }
      return true;
    case lnode::count:
      return n.cmp == '>' || (n.cmp == '=' && n.x > 0);
  }
  return false;
}

// Decides how each sub-signature is asked about, and anchors variable-length ones that start at
// a fixed offset through their expressions.
std::string plan(std::vector<subsig>* subs) {
  for (subsig& s : *subs) {
    s.fixed = true;
    for (uint32_t len : s.body.lengths) s.fixed = s.fixed && len != 0;
    if (s.fixed || (s.off.kind == clam_offset::any && !s.counted)) continue;
    if (s.body.fullword)
      return "fullword sub-signatures at an offset are not matched by this engine";
    if (s.counted) return "counts of variable-length sub-signatures are not reproduced";
    if (s.off.kind == clam_offset::eof)
      return "a variable-length body at an offset from the end is not matched by this engine";
    if (s.off.n + s.off.range > kMaxGap) return "a variable-length body far from the start";
    std::string prefix = "^.{";
    prefix += std::to_string(s.off.n);
    if (s.off.range) prefix.append(",").append(std::to_string(s.off.n + s.off.range));
    prefix += "}";
    for (std::string& re : s.body.regexes) re = prefix + "(?:" + re + ")";
    s.prefixed = true;
  }
  return "";
}

// Pushes how often a sub-signature matched where its offset allows (count) or whether it did.
void emit_value(const subsig& s, uint32_t slot, bool count, program_builder* b) {
  if (s.off.kind == clam_offset::any || s.prefixed) {
    b->with_index(count ? cond_op::count : cond_op::matched, slot);
    return;
  }
  auto origin = [&] {
    if (s.off.kind == clam_offset::eof) {
      b->op(cond_op::filesize);
      b->push(int64_t(s.off.n));
      b->op(cond_op::sub);
    } else {
      b->push(int64_t(s.off.n));
    }
  };
  origin();
  if (s.off.range == 0) {
    b->with_index(cond_op::at, slot);
    return;
  }
  origin();
  b->push(int64_t(s.off.range));
  b->op(cond_op::add);
  b->with_index(count ? cond_op::count_in : cond_op::in, slot);
}

void emit(const lnode& n, const std::vector<subsig>& subs, uint32_t first, program_builder* b) {
  switch (n.kind) {
    case lnode::leaf:
      emit_value(subs[n.index], first + n.index, false, b);
      return;
    case lnode::land:
    case lnode::lor:
      for (size_t i = 0; i < n.kids.size(); ++i) {
        emit(n.kids[i], subs, first, b);
        if (i > 0) b->op(n.kind == lnode::land ? cond_op::land : cond_op::lor);
      }
      return;
    case lnode::count: {
      std::vector<uint32_t> members;
      count_members(n.kids[0], &members);
      for (size_t i = 0; i < members.size(); ++i) {
        emit_value(subs[members[i]], first + members[i], true, b);
        if (i > 0) b->op(cond_op::add);
      }
      b->push(int64_t(n.x));
      b->op(n.cmp == '=' ? cond_op::eq : n.cmp == '>' ? cond_op::gt : cond_op::lt);
      return;
    }
  }
}

// What the target block asks of the file, added to the program.
struct target {
  int type = -1;
  bool has_size = false;
  uint64_t size_lo = 0, size_hi = 0;
};

std::string target_skip(int type) {
  if (type == 0 || type == 1) return "";
  return "target type " + std::to_string(type) + " is not matched by this engine";
}

void emit_target(const target& t, program_builder* b) {
  if (t.type == 1) {  // files of the PE type start with "MZ"
    b->push(0);
    b->read(kRead16);
    b->push(0x5a4d);
    b->op(cond_op::eq);
    b->op(cond_op::land);
  }
  if (t.has_size) {
    b->op(cond_op::filesize);
    b->push(int64_t(t.size_lo));
    b->op(cond_op::ge);
    b->op(cond_op::land);
    b->op(cond_op::filesize);
    b->push(int64_t(t.size_hi));
    b->op(cond_op::le);
    b->op(cond_op::land);
  }
}

bool range(std::string_view v, uint64_t* lo, uint64_t* hi) {
  size_t dash = v.find('-');
  if (dash == std::string_view::npos) return number(v, lo) && ((*hi = *lo), true);
  return number(v.substr(0, dash), lo) && number(v.substr(dash + 1), hi) && *lo <= *hi;
}

bool parse_target(std::string_view block, target* t, std::string* skip, std::string* err) {
  // Keys beyond Target need an Engine range of at least 51 given first, or older engines would
  // misread the block; the format refuses such a block.
  bool new_keys = false;
  if (block.substr(0, 7) == "Engine:") {
    uint64_t lo = 0;
    std::string_view v = block.substr(7, block.find_first_of("-,") - 7);
    new_keys = number(v, &lo) && lo >= 51;
  }
  while (!block.empty()) {
    size_t comma = block.find(',');
    std::string_view item = block.substr(0, comma);
    block.remove_prefix(comma == std::string_view::npos ? block.size() : comma + 1);
    size_t colon = item.find(':');
    std::string_view key = item.substr(0, colon);
    std::string_view value = colon == std::string_view::npos ? "" : item.substr(colon + 1);
    uint64_t lo = 0;
    if (key != "Target" && key != "Engine" && !new_keys)
      return *err = std::string(key) + " needs an Engine range from level 51 first", false;
    if (key == "Target") {
      if (!number(value, &lo) || lo > 255) return *err = "bad Target", false;
      t->type = int(lo);
    } else if (key == "Engine") {
      size_t dash = value.find('-');
      std::string why = level_skip(value.substr(0, dash),
                                   dash == std::string_view::npos ? "" : value.substr(dash + 1));
      if (why == "bad") return *err = "bad Engine range", false;
      if (skip->empty()) *skip = why;
    } else if (key == "FileSize") {
      if (!range(value, &t->size_lo, &t->size_hi)) return *err = "bad FileSize range", false;
      t->has_size = true;
    } else if (skip->empty()) {
      *skip = "the target block's " + std::string(key) + " is not matched by this engine";
    }
  }
  if (t->type < 0 && skip->empty()) *skip = "the target block names no Target";
  if (skip->empty()) *skip = target_skip(t->type);
  return true;
}

// Adds a checked signature to the set.
bool add_rule(const std::string& name, std::vector<subsig>& subs, std::string program,
              bool match_needed, rule_set* set, std::string* skip) {
  std::string err;
  if (!check_program(program, set->slots + uint32_t(subs.size()), uint32_t(set->rules.size()),
                     &err)) {
    *skip = err;
    return true;
  }
  for (size_t i = 0; i < subs.size(); ++i) {
    const subsig& s = subs[i];
    bool positions = !s.prefixed && (s.off.kind != clam_offset::any || s.counted);
    for (size_t f = 0; f < s.body.regexes.size(); ++f) {
      rule_pattern p;
      p.regex = s.body.regexes[f];
      p.flags = HS_FLAG_DOTALL;
      p.slot = set->slots + uint32_t(i);
      p.length = s.body.lengths[f];
      p.positions = positions;
      set->patterns.push_back(std::move(p));
    }
  }
  compiled_rule c;
  c.name = name;
  c.kind = kForeignKind;
  c.accuracy = kForeignAccuracy;
  c.needs_match = match_needed;
  c.ns = set->namespaces;
  c.first_slot = set->slots;
  c.slot_count = uint32_t(subs.size());
  c.program = std::move(program);
  set->slots += c.slot_count;
  set->rules.push_back(std::move(c));
  return true;
}

}  // namespace

std::vector<std::string_view> split_fields(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  while (true) {
    size_t at = s.find(sep);
    out.push_back(s.substr(0, at));
    if (at == std::string_view::npos) return out;
    s.remove_prefix(at + 1);
  }
}

std::string level_skip(std::string_view lo, std::string_view hi) {
  uint64_t a = 0, b = 0;
  if ((!lo.empty() && !number(lo, &a)) || (!hi.empty() && !number(hi, &b))) return "bad";
  if (!lo.empty() && a > kEngineLevel) return "meant for newer engine levels only";
  if (!hi.empty() && b < kEngineLevel) return "meant for older engine levels only";
  return "";
}

bool parse_clam_body(std::string_view body, unsigned modifiers, clam_body* out, std::string* skip,
                     std::string* err) {
  *out = clam_body();
  std::vector<token> toks;
  body_parser p(body);
  if (!p.run(&toks, skip, err)) return false;
  if (!skip->empty()) return true;
  bool nocase = modifiers & kClamNocase, wide = modifiers & kClamWide;
  bool fullword = modifiers & kClamFullword;
  if (wide && fullword) {
    *skip = "wide fullword sub-signatures are not matched by this engine";
    return true;
  }
  for (int form = 0; form < 2; ++form) {
    bool is_wide = form == 1;
    if (is_wide ? !wide : (wide && !(modifiers & kClamAscii))) continue;
    std::string re;
    uint64_t min = 0, max = 0;
    if (!render(toks, nocase, is_wide, &re, &min, &max, skip)) return true;
    if (fullword) {
      re = "(?:^|[^0-9A-Za-z])(?:" + re + ")(?:[^0-9A-Za-z]|$)";
      min = 0, max = 1;  // the delimiters make the length vary
      out->fullword = true;
    }
    out->regexes.push_back(std::move(re));
    out->lengths.push_back(min == max && min <= UINT32_MAX ? uint32_t(min) : 0);
  }
  return true;
}

bool compile_clam_signature(std::string_view line, bool logical, rule_set* set, std::string* name,
                            std::string* skip, std::string* err) {
  std::vector<subsig> subs;
  target t;
  lnode expr;
  std::vector<std::string_view> f = split_fields(line, logical ? ';' : ':');
  if (!logical) {
    // name:target:offset:body[:min_level[:max_level]]
    if (f.size() < 4 || f.size() > 6)
      return *err = "expected 4 to 6 fields separated by ':'", false;
    *name = std::string(f[0]);
    uint64_t type = 0;
    if (!number(f[1], &type) || type > 255) return *err = "bad target type", false;
    t.type = int(type);
    std::string why = level_skip(f.size() > 4 ? f[4] : "", f.size() > 5 ? f[5] : "");
    if (why == "bad") return *err = "bad functionality level", false;
    subs.emplace_back();
    if (!parse_offset(f[2], &subs[0].off, skip, err) ||
        (skip->empty() && !parse_clam_body(f[3], 0, &subs[0].body, skip, err))) {
      return false;
    }
    if (skip->empty()) *skip = why;
    if (skip->empty()) *skip = target_skip(t.type);
  } else {
    // name;target block;expression;subsig;...
    if (f.size() < 4) return *err = "expected at least 4 fields separated by ';'", false;
    if (f.size() - 3 > kMaxSubsigs) return *err = "more than 64 sub-signatures", false;
    *name = std::string(f[0]);
    if (!parse_target(f[1], &t, skip, err)) return false;
    subs.resize(f.size() - 3);
    for (size_t i = 0; i < subs.size(); ++i) {
      std::string why;
      if (!parse_subsig(f[3 + i], true, &subs[i], &why, err)) {
        *err = "sub-signature " + std::to_string(i) + ": " + *err;
        return false;
      }
      if (skip->empty() && !why.empty()) *skip = "sub-signature " + std::to_string(i) + ": " + why;
    }
    expr_parser ep(f[2], subs.size());
    std::string why;
    if (!ep.run(&expr, &why, err)) return false;
    if (skip->empty()) *skip = why;
    if (skip->empty()) *skip = mark_counts(expr, &subs);
  }
  if (!valid_name(*name) && skip->empty())
    *skip = "name is empty, too long, or holds blanks or control characters";
  if (!skip->empty()) return true;
  *skip = plan(&subs);
  if (!skip->empty()) return true;
  program_builder b;
  if (logical) {
    emit(expr, subs, set->slots, &b);
  } else {
    emit_value(subs[0], set->slots, false, &b);
  }
  emit_target(t, &b);
  return add_rule(*name, subs, b.take(), logical ? needs_match(expr) : true, set, skip);
}

}  // namespace qorvex
