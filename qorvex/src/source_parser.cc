#include "qorvex/src/source_parser.h"

#include <algorithm>
#include <cctype>

namespace qorvex {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Splits off the next blank-separated word of *s.
std::string_view next_word(std::string_view* s) {
  *s = trim(*s);
  size_t end = 0;
  while (end < s->size() && (*s)[end] != ' ' && (*s)[end] != '\t') ++end;
  std::string_view word = s->substr(0, end);
  s->remove_prefix(end);
  return word;
}

bool parse_number(std::string_view text, uint64_t limit, uint64_t* out) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    if (v > (limit - uint64_t(c - '0')) / 10) return false;
    v = v * 10 + uint64_t(c - '0');
  }
  *out = v;
  return true;
}

// Applies one key=value option to the entry.
bool apply_option(std::string_view option, source_entry* e, std::string* err) {
  size_t eq = option.find('=');
  std::string_view key = option.substr(0, eq);
  if (key == "repair" && e->type == entry_type::pattern && eq != std::string_view::npos) {
    std::string_view how = option.substr(eq + 1);
    if (how != "cut" && how != "blank")
      return *err = "bad option '" + std::string(option) + "'", false;
    e->repair = how == "cut" ? repair_type::cut : repair_type::blank;
    return true;
  }
  uint64_t v = 0;
  if (eq == std::string_view::npos || !parse_number(option.substr(eq + 1), 0xffffffffu, &v)) {
    return *err = "bad option '" + std::string(option) + "'", false;
  }
  if (key == "kind" && v <= kMaxKind) {
    e->kind = int(v);
  } else if (key == "accuracy" && v <= kMaxAccuracy) {
    e->accuracy = int(v);
  } else if (key == "qualifiers") {
    e->qualifiers = uint32_t(v);
  } else if (key == "heuristics" && v <= kMaxHeuristicLevel) {
    e->heuristics = int(v);
  } else if ((key == "at" || key == "end") && e->type == entry_type::pattern) {
    if (e->anchor != anchor_type::none) return *err = "more than one anchor", false;
    e->anchor = key == "at" ? anchor_type::start : anchor_type::end;
    e->offset = uint32_t(v);
  } else {
    return *err = "bad option '" + std::string(option) + "'", false;
  }
  return true;
}

bool parse_digest_and_size(std::string_view body, hash_entry* h, std::string* err) {
  std::string_view hex = next_word(&body);
  std::string_view size = next_word(&body);
  if (!parse_hex_digest(hex, &h->digest, &h->type))
    return *err = "bad hash value (MD5, SHA-1 or SHA-256 in hex)", false;
  if (!parse_hash_size(size, &h->size)) return *err = "bad file size", false;
  if (!trim(body).empty()) return *err = "unexpected text after the size", false;
  return true;
}

// Parses a line's head; for hash and allow lines *rest gets the text after the ':'.
bool parse_entry(std::string_view type, std::string_view line, source_entry* e,
                 std::string_view* rest, std::string* err) {
  e->type = type == "pattern" ? entry_type::pattern
            : type == "hash"  ? entry_type::hash
                              : entry_type::allow;
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return *err = "missing ':'", false;
  std::string_view head = line.substr(0, colon);
  std::string_view body = line.substr(colon + 1);
  e->name = std::string(next_word(&head));
  if (!valid_name(e->name)) return *err = "bad name", false;
  for (std::string_view opt = next_word(&head); !opt.empty(); opt = next_word(&head)) {
    if (e->type == entry_type::allow) return *err = "allow lines take no options", false;
    if (!apply_option(opt, e, err)) return false;
  }
  if (e->type != entry_type::allow && e->kind < 0) return *err = "missing kind=", false;
  if (e->type != entry_type::pattern) {
    *rest = body;
    return true;
  }
  return parse_pattern(trim(body), &e->pattern, err);
}

// A hash or allow line, its options already in e.
bool add_hash_line(const source_entry& e, std::string_view body, uint32_t source, uint32_t line,
                   source_set* out, std::string* err) {
  hash_entry h;
  h.allow = e.type == entry_type::allow;
  h.kind = uint8_t(std::max(e.kind, 0));
  h.accuracy = uint8_t(e.accuracy);
  h.heuristics = uint8_t(e.heuristics);
  h.qualifiers = e.qualifiers;
  h.source = source;
  h.line = line;
  if (!parse_digest_and_size(body, &h, err)) return false;
  if (!out->add_hash(h, h.allow ? std::string_view() : std::string_view(e.name)))
    return *err = "too many names", false;
  return true;
}

}  // namespace

bool parse_hex_digest(std::string_view hex, sha256_digest* out, hash_type* type) {
  if (hex.size() == 32)
    *type = hash_type::md5;
  else if (hex.size() == 40)
    *type = hash_type::sha1;
  else if (hex.size() == 64)
    *type = hash_type::sha256;
  else
    return false;
  *out = {};
  for (size_t i = 0; i < hex.size() / 2; ++i) {
    int v = 0;
    for (char c : hex.substr(2 * i, 2)) {
      int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
              : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
              : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                          : -1;
      if (d < 0) return false;
      v = v * 16 + d;
    }
    (*out)[i] = uint8_t(v);
  }
  return true;
}

bool parse_hash_size(std::string_view text, uint64_t* out) {
  if (text == "*") return (*out = kAnySize), true;
  // kAnySize itself is taken by `*`.
  return parse_number(text, kAnySize - 1, out);
}

bool valid_name(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7f) return false;
  }
  return true;
}

uint32_t source_set::label_index(const std::string& label) {
  if (labels.empty() || labels.back() != label) labels.push_back(label);
  return uint32_t(labels.size() - 1);
}

bool source_set::add_hash(hash_entry h, std::string_view name) {
  if (name_pool.size() + name.size() > UINT32_MAX) return false;
  h.name_at = uint32_t(name_pool.size());
  h.name_length = uint8_t(name.size());
  name_pool += name;
  hashes.push_back(h);
  return true;
}

bool valid_defs_id(std::string_view text) {
  if (text.size() != kIdLength) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  auto field = [&](size_t at, size_t n) { return std::stoi(std::string(text.substr(at, n))); };
  int month = field(4, 2), day = field(6, 2), hour = field(8, 2), minute = field(10, 2);
  return field(0, 4) >= 1970 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 &&
         minute < 60;
}

bool parse_source(std::string_view text, const std::string& label, source_set* out,
                  std::string* err) {
  int line_no = 0;
  uint32_t source = out->label_index(label);
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = trim(text.substr(0, nl));
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++line_no;
    std::string where = label + ":" + std::to_string(line_no);
    if (line.empty() || line.front() == '#') continue;
    std::string_view rest = line;
    std::string_view word = next_word(&rest);
    std::string message;
    if (word == "id") {
      std::string id(trim(rest));
      if (!valid_defs_id(id))
        message = "bad identifier '" + id + "'";
      else if (!out->id.empty() && out->id != id)
        message = "identifier differs from " + out->id;
      else
        out->id = id;
    } else if (word == "pattern" || word == "hash" || word == "allow") {
      source_entry e;
      e.where = where;
      std::string_view body;
      if (parse_entry(word, rest, &e, &body, &message)) {
        if (e.type == entry_type::pattern)
          out->entries.push_back(std::move(e));
        else
          add_hash_line(e, body, source, uint32_t(line_no), out, &message);
      }
    } else {
      message = "unknown line type '" + std::string(word) + "'";
    }
    if (!message.empty()) return *err = where + ": " + message, false;
  }
  return true;
}

}  // namespace qorvex
