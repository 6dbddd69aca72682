// Zip archives for the update's unit tests.
#ifndef FERROX_SCANNER_UPDATE_ZIP_FIXTURE_H_
#define FERROX_SCANNER_UPDATE_ZIP_FIXTURE_H_

#include <string>
#include <vector>

namespace ferrox {

struct zip_entry {
  std::string name;
  std::string content;
  bool stored = false;  // no compression, so a test can find and damage the bytes
};

// Writes a zip archive of `entries` to `path`; false when the zip library refused.
bool write_zip(const std::string& path, const std::vector<zip_entry>& entries);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_ZIP_FIXTURE_H_
