#include "scanner/update/zip_fixture.h"

#include <zip.h>

namespace ferrox {

bool write_zip(const std::string& path, const std::vector<zip_entry>& entries) {
  zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (zf == nullptr) return false;
  bool ok = true;
  for (const zip_entry& e : entries) {
    zip_fileinfo info{};
    const int method = e.stored ? 0 : Z_DEFLATED;
    ok = ok && zipOpenNewFileInZip64(zf, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                     method, e.stored ? 0 : Z_DEFAULT_COMPRESSION, 0) == ZIP_OK;
    ok = ok && zipWriteInFileInZip(zf, e.content.data(), static_cast<unsigned>(e.content.size())) ==
                   ZIP_OK;
    ok = ok && zipCloseFileInZip(zf) == ZIP_OK;
  }
  return zipClose(zf, nullptr) == ZIP_OK && ok;
}

}  // namespace ferrox
