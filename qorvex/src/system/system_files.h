// Small, bounded reads of system files (proc, sysfs, configuration) and the text helpers their
// parsers share.
#ifndef QORVEX_SRC_SYSTEM_SYSTEM_FILES_H_
#define QORVEX_SRC_SYSTEM_SYSTEM_FILES_H_

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qorvex {

// Reads a file into *out, at most `max` bytes (the rest is ignored). proc and sysfs files report
// a size of 0, so this reads until end of file rather than trusting the size. Returns 0 or the
// errno of the open or of a read; a folder gives EISDIR.
int read_small_file(const std::string& path, size_t max, std::string* out);

// The first line of a small file, without its line end and surrounding blanks; empty on error.
std::string read_first_line(const std::string& path);

// The lines of a text, without line ends (a carriage return before the line feed is dropped).
std::vector<std::string_view> split_lines(std::string_view text);
// Words separated by blanks and tabs.
std::vector<std::string_view> split_words(std::string_view text);
std::string_view trim(std::string_view text);

// A whole text of digits in the given base (10 or 16), without sign or prefix, that fits.
bool parse_unsigned(std::string_view text, int base, uint64_t* value);

// The entry names of a folder, "." and ".." left out, at most `max` of them, in no set order.
// Returns 0 or the errno of opening it.
int list_folder(const std::string& path, size_t max, std::vector<std::string>* names);

// Classes of a failed call's errno that the system scans treat alike: no permission, and a
// process (or its file) that went away while it was looked at.
inline bool is_denied(int err) { return err == EACCES || err == EPERM; }
inline bool is_gone(int err) { return err == ENOENT || err == ESRCH; }

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_SYSTEM_FILES_H_
