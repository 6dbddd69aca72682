#include "qorvex/src/system/system_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/platform/eintr.h"

namespace qorvex {

int read_small_file(const std::string& path, size_t max, std::string* out) {
  out->clear();
  // O_NONBLOCK: a FIFO planted where a file is expected must not hang the scan.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st;
  int err = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  if (err != 0) {
    close(fd);
    return err;
  }
  char buffer[16384];
  while (out->size() < max) {
    ssize_t n = common::retry_eintr(
        [&] { return read(fd, buffer, std::min(sizeof buffer, max - out->size())); });
    if (n < 0) {
      err = errno == EAGAIN ? 0 : errno;
      break;
    }
    if (n == 0) break;
    out->append(buffer, size_t(n));
  }
  close(fd);
  return err;
}

std::string read_first_line(const std::string& path) {
  std::string text;
  if (read_small_file(path, 4096, &text) != 0) return std::string();
  std::string_view line(text);
  line = line.substr(0, line.find('\n'));
  return std::string(trim(line));
}

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::vector<std::string_view> split_words(std::string_view text) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != '\t') ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

std::string_view trim(std::string_view text) {
  const char* blanks = " \t\r\n\v\f";
  size_t start = text.find_first_not_of(blanks);
  if (start == std::string_view::npos) return std::string_view();
  size_t end = text.find_last_not_of(blanks);
  return text.substr(start, end - start + 1);
}

bool parse_unsigned(std::string_view text, int base, uint64_t* value) {
  if (text.empty() || text.size() > 20) return false;
  uint64_t v = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (digit >= base || v > (UINT64_MAX - uint64_t(digit)) / uint64_t(base)) return false;
    v = v * uint64_t(base) + uint64_t(digit);
  }
  *value = v;
  return true;
}

int list_folder(const std::string& path, size_t max, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return errno;
  while (names->size() < max) {
    dirent* entry = readdir(dir);
    if (entry == nullptr) break;
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names->emplace_back(entry->d_name);
  }
  closedir(dir);
  return 0;
}

}  // namespace qorvex
