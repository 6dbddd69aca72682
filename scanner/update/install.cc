#include "scanner/update/install.h"

#include <unzip.h>

#include <memory>
#include <vector>

#include "scanner/update/journal.h"
#include "scanner/update/release_signature.h"

namespace ferrox {
namespace {

// A signature entry is 64 bytes; anything much larger is not read.
constexpr uint64_t kMaxSignatureEntry = 1024;
// unzLocateFile's case sensitivity argument: 2 compares without regard to case on every system.
constexpr int kIgnoreCase = 2;

struct archive_closer {
  void operator()(void* archive) const { unzClose(archive); }
};
using archive_ptr = std::unique_ptr<void, archive_closer>;

// Copies the open current entry into `out`; true when exactly `expected` bytes came out and the
// entry's checksum matched.
bool copy_entry(unzFile archive, uint64_t expected, output_file& out, std::vector<char>& buffer) {
  uint64_t total = 0;
  for (;;) {
    const int n = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (n < 0) return false;  // damaged data: never count a partial copy as written
    if (n == 0) break;
    total += static_cast<uint64_t>(n);
    if (total > expected || !out.write(buffer.data(), static_cast<std::size_t>(n))) return false;
  }
  return total == expected;
}

// Unpacks entry `name` into a new file in `directory`; its path in `temp_path` whenever one was
// created, so the caller can remove it.
bool unpack_entry(unzFile archive, const char* name, const std::string& directory,
                  update_files& files, std::vector<char>& buffer, std::string& temp_path) {
  if (unzLocateFile(archive, name, kIgnoreCase) != UNZ_OK) return false;
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
    return false;
  if (info.uncompressed_size > kMaxEntrySize) return false;
  if (unzOpenCurrentFile(archive) != UNZ_OK) return false;
  std::unique_ptr<output_file> out = files.create_unique(directory + "." + name + ".");
  bool ok = out != nullptr;
  if (ok) {
    temp_path = out->path();
    ok = copy_entry(archive, info.uncompressed_size, *out, buffer);
  }
  // Closing a fully read entry is where the checksum is compared.
  ok = unzCloseCurrentFile(archive) == UNZ_OK && ok;
  // The rename must never put a file in place whose data is not yet on the disk.
  if (out) ok = out->finish(true) && ok;
  return ok;
}

// Reads the optional signature entry into `signature` (left empty when there is none). False
// when the entry is there but damaged or too large.
bool read_signature_entry(unzFile archive, std::string& signature) {
  signature.clear();
  if (unzLocateFile(archive, kSignatureEntry, kIgnoreCase) != UNZ_OK) return true;
  unz_file_info64 info;
  if (unzGetCurrentFileInfo64(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK ||
      info.uncompressed_size > kMaxSignatureEntry || unzOpenCurrentFile(archive) != UNZ_OK)
    return false;
  std::string bytes(static_cast<std::size_t>(info.uncompressed_size) + 1, '\0');
  const int n = unzReadCurrentFile(archive, bytes.data(), static_cast<unsigned>(bytes.size()));
  const bool ok = unzCloseCurrentFile(archive) == UNZ_OK && n >= 0 &&
                  static_cast<uint64_t>(n) == info.uncompressed_size;
  if (ok) signature = bytes.substr(0, static_cast<std::size_t>(n));
  return ok;
}

}  // namespace

bool install_definitions(const std::string& archive_path, const std::string& definitions_directory,
                         update_files& files, std::string* signature) {
  archive_ptr archive(unzOpen64(archive_path.c_str()));
  if (!archive) return false;
  std::vector<char> buffer(kCopyBufferSize);
  std::string temp[2];
  bool ok = signature == nullptr || read_signature_entry(archive.get(), *signature);
  for (int i = 0; ok && i < 2; ++i)
    ok = unpack_entry(archive.get(), kDefinitionNames[i], definitions_directory, files, buffer,
                      temp[i]);
  archive.reset();
  for (int i = 0; ok && i < 2; ++i) {
    ok = files.replace(temp[i], definitions_directory + kDefinitionNames[i]);
    if (ok) temp[i].clear();  // in place now: its temporary name is gone
  }
  for (const std::string& path : temp)
    if (!path.empty()) files.remove(path);
  return ok;
}

}  // namespace ferrox
