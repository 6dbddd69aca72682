#include "qorvex/src/system/startup_parse.h"

#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

bool is_separator(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case '\'':
    case '"':
    case ';':
    case '|':
    case '&':
    case '(':
    case ')':
    case '<':
    case '>':
    case '`':
    case '=':
    case '\n':
    case '\r':
      return true;
    default:
      return false;
  }
}

void add(std::vector<std::string>* out, std::string_view word) {
  if (!word.empty() && out->size() < kMaxReferencesPerItem) out->emplace_back(word);
}

// Lines with a trailing backslash joined to the next, as unit files allow.
std::vector<std::string> logical_lines(std::string_view text) {
  std::vector<std::string> lines;
  std::string pending;
  for (std::string_view line : split_lines(text)) {
    if (!line.empty() && line.back() == '\\') {
      pending.append(line.substr(0, line.size() - 1)).push_back(' ');
      continue;
    }
    pending.append(line);
    lines.push_back(std::move(pending));
    pending.clear();
  }
  if (!pending.empty()) lines.push_back(std::move(pending));
  return lines;
}

bool is_comment(std::string_view line) {
  line = trim(line);
  return line.empty() || line.front() == '#' || line.front() == ';';
}

// "NAME=value" with nothing but a name before the '=': an assignment, not a command.
bool is_assignment(std::string_view line) {
  line = trim(line);
  size_t eq = line.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;
  for (char c : trim(line.substr(0, eq))) {
    bool name =
        c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!name) return false;
  }
  return true;
}

// The value of "key = value" when the line's key is one of `keys`.
bool key_value(std::string_view line, std::initializer_list<std::string_view> keys,
               std::string_view* value) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  std::string_view key = trim(line.substr(0, eq));
  for (std::string_view k : keys) {
    if (key == k) {
      *value = trim(line.substr(eq + 1));
      return true;
    }
  }
  return false;
}

// Skips `n` blank-separated fields; the rest of the line.
std::string_view after_fields(std::string_view line, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    line = trim(line);
    size_t end = line.find_first_of(" \t");
    if (end == std::string_view::npos) return std::string_view();
    line.remove_prefix(end);
  }
  return trim(line);
}

}  // namespace

void command_references(std::string_view command, std::vector<std::string>* out) {
  // A quoted path may hold blanks: the whole quoted text is a candidate too. Words are still
  // split inside quotes, since the quoted text is often a command for a shell.
  for (size_t open = command.find_first_of("'\""); open != std::string_view::npos;) {
    size_t close = command.find(command[open], open + 1);
    if (close == std::string_view::npos) break;
    std::string_view quoted = command.substr(open + 1, close - open - 1);
    if (!quoted.empty() && quoted.front() == '/' &&
        quoted.find_first_of(" \t") != std::string_view::npos) {
      add(out, quoted);
    }
    open = command.find_first_of("'\"", close + 1);
  }
  bool first = true;
  size_t i = 0;
  while (i < command.size()) {
    while (i < command.size() && is_separator(command[i])) ++i;
    size_t start = i;
    while (i < command.size() && !is_separator(command[i])) ++i;
    std::string_view word = command.substr(start, i - start);
    if (word.empty()) continue;
    if (word.front() == '/' || (first && word.find('/') == std::string_view::npos)) add(out, word);
    first = false;
  }
}

std::vector<std::string> unit_references(std::string_view text) {
  std::vector<std::string> out;
  for (const std::string& line : logical_lines(text)) {
    std::string_view value;
    if (is_comment(line) || !key_value(line,
                                       {"ExecStart", "ExecStartPre", "ExecStartPost",
                                        "ExecCondition", "ExecReload", "ExecStop", "ExecStopPost"},
                                       &value)) {
      continue;
    }
    while (!value.empty() &&
           std::string_view("@-:+!").find(value.front()) != std::string_view::npos) {
      value.remove_prefix(1);
    }
    command_references(value, &out);
  }
  return out;
}

std::vector<std::string> cron_references(std::string_view text, bool with_user) {
  std::vector<std::string> out;
  for (std::string_view line : split_lines(text)) {
    line = trim(line);
    if (is_comment(line) || is_assignment(line)) continue;
    size_t schedule_fields = line.front() == '@' ? 1 : 5;
    command_references(after_fields(line, schedule_fields + (with_user ? 1 : 0)), &out);
  }
  return out;
}

std::vector<std::string> anacron_references(std::string_view text) {
  std::vector<std::string> out;
  for (std::string_view line : split_lines(text)) {
    if (is_comment(line) || is_assignment(line)) continue;
    command_references(after_fields(line, 3), &out);
  }
  return out;
}

std::vector<std::string> desktop_references(std::string_view text) {
  std::vector<std::string> out;
  for (std::string_view line : split_lines(text)) {
    std::string_view value;
    if (is_comment(line) || !key_value(line, {"Exec", "TryExec"}, &value)) continue;
    std::vector<std::string> words;
    command_references(value, &words);
    for (std::string& word : words) {
      if (word.front() != '%') add(&out, word);
    }
  }
  return out;
}

std::vector<std::string> preload_references(std::string_view text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && std::string_view(" \t\r\n:").find(text[i]) != std::string_view::npos)
      ++i;
    size_t start = i;
    while (i < text.size() && std::string_view(" \t\r\n:").find(text[i]) == std::string_view::npos)
      ++i;
    std::string_view word = text.substr(start, i - start);
    if (!word.empty() && word.front() == '/') add(&out, word);
  }
  return out;
}

std::vector<std::string> udev_references(std::string_view text) {
  std::vector<std::string> out;
  for (const std::string& line : logical_lines(text)) {
    if (is_comment(line)) continue;
    // Rules are comma-separated KEY op "value" pairs; the keys that run programs are wanted.
    std::string_view rest(line);
    while (!rest.empty()) {
      size_t quote = rest.find('"');
      if (quote == std::string_view::npos) break;
      size_t close = rest.find('"', quote + 1);
      if (close == std::string_view::npos) break;
      std::string_view key = trim(rest.substr(0, quote));
      std::string_view value = rest.substr(quote + 1, close - quote - 1);
      rest.remove_prefix(close + 1);
      size_t comma = key.rfind(',');
      if (comma != std::string_view::npos) key = trim(key.substr(comma + 1));
      bool runs = key.starts_with("RUN+=") || key.starts_with("RUN=") ||
                  key.starts_with("RUN{program}") || key.starts_with("PROGRAM") ||
                  key.starts_with("IMPORT{program}");
      if (!runs) continue;
      std::vector<std::string> words;
      command_references(value, &words);
      for (std::string& word : words) {
        add(&out, word.front() == '/' ? word : "/usr/lib/udev/" + word);
      }
    }
  }
  return out;
}

}  // namespace qorvex
