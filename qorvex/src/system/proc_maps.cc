#include "qorvex/src/system/proc_maps.h"

#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

constexpr std::string_view kDeleted = " (deleted)";

// Takes the next blank-separated field off the front of *line.
std::string_view take_field(std::string_view* line) {
  size_t start = line->find_first_not_of(' ');
  if (start == std::string_view::npos) {
    *line = std::string_view();
    return std::string_view();
  }
  line->remove_prefix(start);
  size_t end = line->find(' ');
  std::string_view field = line->substr(0, end);
  line->remove_prefix(end == std::string_view::npos ? line->size() : end);
  return field;
}

}  // namespace

bool memory_region::deleted() const {
  return path.size() > kDeleted.size() &&
         std::string_view(path).substr(path.size() - kDeleted.size()) == kDeleted;
}

bool memory_region::anonymous() const {
  if (path.empty()) return inode == 0;
  return path == "[heap]" || path.starts_with("[stack") || path.starts_with("[anon:");
}

bool memory_region::heap() const {
  if (path == "[heap]") return true;
  return readable && writable && !shared && anonymous() && !path.starts_with("[stack");
}

bool parse_maps_line(std::string_view line, memory_region* out) {
  memory_region r;
  std::string_view range = take_field(&line);
  std::string_view perms = take_field(&line);
  std::string_view offset = take_field(&line);
  std::string_view dev = take_field(&line);
  std::string_view inode = take_field(&line);
  size_t dash = range.find('-');
  if (dash == std::string_view::npos || perms.size() != 4 || dev.empty()) return false;
  if (!parse_unsigned(range.substr(0, dash), 16, &r.lo) ||
      !parse_unsigned(range.substr(dash + 1), 16, &r.hi) || r.hi <= r.lo ||
      !parse_unsigned(offset, 16, &r.offset) || !parse_unsigned(inode, 10, &r.inode)) {
    return false;
  }
  r.readable = perms[0] == 'r';
  r.writable = perms[1] == 'w';
  r.executable = perms[2] == 'x';
  r.shared = perms[3] == 's';
  r.range = std::string(range);
  // The path is the rest after the padding; it may itself hold blanks.
  size_t start = line.find_first_not_of(' ');
  if (start != std::string_view::npos) r.path = std::string(line.substr(start));
  *out = std::move(r);
  return true;
}

std::vector<memory_region> parse_maps(std::string_view text) {
  std::vector<memory_region> regions;
  for (std::string_view line : split_lines(text)) {
    if (line.starts_with("VmFlags:")) {
      if (regions.empty()) continue;
      for (std::string_view flag : split_words(line.substr(8))) {
        if (flag == "um" || flag == "ui") regions.back().userfault = true;
      }
      continue;
    }
    memory_region r;
    if (!parse_maps_line(line, &r)) continue;
    if (regions.size() >= kMaxRegions) break;
    regions.push_back(std::move(r));
  }
  return regions;
}

}  // namespace qorvex
