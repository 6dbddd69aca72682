#include "tests/fake_engine/script.h"

#include <charconv>
#include <limits>

namespace qvx_fake {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits a line into tokens at blanks. A quoted part may hold blanks and escaped quotes; a token
// that begins with '#' outside quotes starts a comment that runs to the end of the line.
bool tokenize(std::string_view line, std::vector<std::string>* out, std::string* why) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && is_blank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') return true;
    std::string token;
    bool quoted = false;
    for (; i < line.size() && (quoted || !is_blank(line[i])); ++i) {
      char c = line[i];
      token += c;
      if (quoted && c == '\\' && i + 1 < line.size()) {
        token += line[++i];
      } else if (c == '"') {
        quoted = !quoted;
      }
    }
    if (quoted) {
      *why = "unterminated quoted text";
      return false;
    }
    out->push_back(std::move(token));
  }
  return true;
}

template <typename T>
bool parse_number(std::string_view s, T* out) {
  if (s.empty() || s[0] == '+') return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *out);
  return ec == std::errc() && end == s.data() + s.size();
}

bool parse_int32(std::string_view s, int32_t* out) { return parse_number(s, out); }

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes a token that is exactly one quoted text with C escapes.
bool decode_quoted(std::string_view s, std::string* out, std::string* why) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') {
    *why = "expected one quoted text";
    return false;
  }
  out->clear();
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      *why = "text after a closing quote";
      return false;
    }
    if (c != '\\') {
      *out += c;
      continue;
    }
    char e = s[++i];
    if (e == '"' || e == '\\') {
      *out += e;
    } else if (e == 'n') {
      *out += '\n';
    } else if (e == 't') {
      *out += '\t';
    } else if (e == 'x' && i + 3 < s.size() && hex_digit(s[i + 1]) >= 0 &&
               hex_digit(s[i + 2]) >= 0) {
      *out += static_cast<char>(hex_digit(s[i + 1]) * 16 + hex_digit(s[i + 2]));
      i += 2;
    } else {
      *why = "bad escape in quoted text";
      return false;
    }
  }
  return true;
}

bool parse_value(std::string_view s, value* out, std::string* why) {
  if (!s.empty() && s[0] == '"') {
    out->type = value::kind::text;
    return decode_quoted(s, &out->text, why);
  }
  if (!s.empty() && s[0] == '!') {
    out->type = value::kind::failure;
    if (parse_int32(s.substr(1), &out->result)) return true;
    *why = "bad failure result '" + std::string(s) + "'";
    return false;
  }
  out->type = value::kind::integer;
  int64_t negative = 0;
  if (!s.empty() && s[0] == '-' && parse_number(s, &negative)) {
    out->integer = static_cast<uint64_t>(negative);
    return true;
  }
  if (parse_number(s, &out->integer)) return true;
  *why = "bad value '" + std::string(s) + "'";
  return false;
}

// "<prop>[.<index>]=<value>" of an event line.
bool parse_event_prop(std::string_view s, prop_value* out, std::string* why) {
  size_t eq = s.find('=');
  if (eq == std::string_view::npos) {
    *why = "expected <prop>[.<index>]=<value>, got '" + std::string(s) + "'";
    return false;
  }
  std::string_view name = s.substr(0, eq);
  size_t dot = name.find('.');
  out->any_index = dot == std::string_view::npos;
  if (!parse_int32(name.substr(0, dot), &out->property) ||
      (!out->any_index && !parse_int32(name.substr(dot + 1), &out->index))) {
    *why = "bad property '" + std::string(name) + "'";
    return false;
  }
  return parse_value(s.substr(eq + 1), &out->val, why);
}

bool parse_event(const std::vector<std::string>& t, event* out, std::string* why) {
  if (t.size() < 2 || !parse_int32(t[1], &out->code)) {
    *why = "expected event <code> [<prop>[.<index>]=<value> ...] [x<count>]";
    return false;
  }
  size_t end = t.size();
  if (end > 2 && t.back()[0] == 'x') {
    if (!parse_number(std::string_view(t.back()).substr(1), &out->count) || out->count == 0 ||
        out->count > kMaxEventCount) {
      *why = "bad count '" + t.back() + "'";
      return false;
    }
    --end;
  }
  for (size_t i = 2; i < end; ++i) {
    prop_value p;
    if (!parse_event_prop(t[i], &p, why)) return false;
    out->props.push_back(std::move(p));
  }
  return true;
}

bool parse_prop(const std::vector<std::string>& t, prop_value* out, std::string* why) {
  size_t i = 1;
  if (t.size() == 5) {
    if (t[1].size() < 2 || t[1][0] != 'h' ||
        !parse_number(std::string_view(t[1]).substr(1), &out->handle) || out->handle == 0) {
      *why = "bad handle '" + t[1] + "'";
      return false;
    }
    i = 2;
  } else if (t.size() != 4) {
    *why = "expected prop [h<k>] <prop> <index|*> <value>";
    return false;
  }
  out->any_index = t[i + 1] == "*";
  if (!parse_int32(t[i], &out->property) ||
      (!out->any_index && !parse_int32(t[i + 1], &out->index))) {
    *why = "bad property or index";
    return false;
  }
  return parse_value(t[i + 2], &out->val, why);
}

bool parse_run(const std::vector<std::string>& t, run_rule* out, std::string* why) {
  if (t.size() != 4 || !parse_int32(t[1], &out->command) || !parse_int32(t[3], &out->result)) {
    *why = "expected run <command> <arg|*> <result>";
    return false;
  }
  out->any_arg = t[2] == "*";
  if (out->any_arg) return true;
  if (t[2][0] == '"') return decode_quoted(t[2], &out->arg, why);
  if (t[2].find('"') != std::string::npos) {
    *why = "stray quote in argument '" + t[2] + "'";
    return false;
  }
  out->arg = t[2];
  return true;
}

bool same_key(const prop_value& a, const prop_value& b) {
  return a.handle == b.handle && a.property == b.property && a.any_index == b.any_index &&
         (a.any_index || a.index == b.index);
}

// What the lines before the current one leave for it.
struct line_state {
  bool in_run = false;  // an indented event line may follow
  bool init_seen = false;
};

bool parse_line(std::string_view line, script* s, line_state* state, std::string* why) {
  std::vector<std::string> t;
  if (!tokenize(line, &t, why)) return false;
  if (t.empty()) return true;
  bool indented = is_blank(line[0]);
  const std::string& d = t[0];
  if (d == "event") {
    if (!indented || !state->in_run) {
      *why = "an event line must be indented under a run line";
      return false;
    }
    event e;
    if (!parse_event(t, &e, why)) return false;
    s->runs.back().events.push_back(std::move(e));
    return true;
  }
  if (indented) {
    *why = "only event lines are indented";
    return false;
  }
  state->in_run = false;
  int32_t a = 0, b = 0;
  if (d == "init") {
    if (state->init_seen) {
      *why = "init given twice";
    } else if (t.size() == 2 && parse_int32(t[1], &s->init_result)) {
      state->init_seen = true;
      return true;
    } else {
      *why = "expected init <result>";
    }
  } else if (d == "create") {
    uint64_t n = 0;
    if (t.size() == 3 && parse_number(t[1], &n) && n > 0 && parse_int32(t[2], &b)) {
      if (s->create_results.emplace(n, b).second) return true;
      *why = "create " + t[1] + " given twice";
    } else {
      *why = "expected create <n> <result> with n from 1";
    }
  } else if (d == "set") {
    if (t.size() == 3 && parse_int32(t[1], &a) && parse_int32(t[2], &b)) {
      if (s->set_results.emplace(a, b).second) return true;
      *why = "set " + t[1] + " given twice";
    } else {
      *why = "expected set <prop> <result>";
    }
  } else if (d == "prop") {
    prop_value p;
    if (!parse_prop(t, &p, why)) return false;
    for (const prop_value& q : s->props) {
      if (same_key(p, q)) {
        *why = "the same property given twice";
        return false;
      }
    }
    s->props.push_back(std::move(p));
    return true;
  } else if (d == "run") {
    run_rule r;
    if (!parse_run(t, &r, why)) return false;
    s->runs.push_back(std::move(r));
    state->in_run = true;
    return true;
  } else {
    *why = "unknown directive '" + d + "'";
  }
  return false;
}

}  // namespace

bool parse_script(std::string_view text, script* out, std::string* err) {
  *out = script();
  if (text.size() > kMaxScriptBytes) {
    *err = "script larger than " + std::to_string(kMaxScriptBytes) + " bytes";
    return false;
  }
  line_state state;
  size_t number = 0;
  while (!text.empty()) {
    ++number;
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string why;
    if (parse_line(line, out, &state, &why)) continue;
    *err = "bad script line " + std::to_string(number) + ": " + why;
    return false;
  }
  return true;
}

std::string substitute_arg(std::string_view text, std::string_view arg) {
  static constexpr std::string_view kArg = "$ARG";
  std::string out;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(kArg, pos)) != std::string_view::npos;
       pos = hit + kArg.size()) {
    out.append(text.substr(pos, hit - pos));
    out.append(arg);
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace qvx_fake
