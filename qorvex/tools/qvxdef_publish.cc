#include "qorvex/tools/qvxdef_publish.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "common/platform/folders.h"
#include "qorvex/src/defs_format.h"
#include "qorvex/tools/qvxdef_sign.h"

namespace qvxdef {
namespace {

const char* const kEntries[] = {"sigbase-v2.def", "qorvexcon-v2.def"};
const char kServerFolder[] = "zorav/deffiles/def5-2";
// Where the header keeps the identifier (see defs_format.h).
constexpr std::size_t kIdOffset = 16;

bool fail(const std::string& what, const std::string& why) {
  std::fprintf(stderr, "qvxdef publish: %s: %s\n", what.c_str(), why.c_str());
  return false;
}

// A new empty file beside `path`; its name in `temp`.
bool make_temp(const std::string& path, std::string* temp) {
  *temp = path + ".tmpXXXXXX";
  const int fd = mkstemp(temp->data());
  if (fd < 0) return fail(path, std::strerror(errno));
  const bool ok = fchmod(fd, 0644) == 0;
  close(fd);
  if (!ok) unlink(temp->c_str());
  return ok || fail(path, "cannot set the file mode");
}

bool put_in_place(const std::string& temp, const std::string& path) {
  if (rename(temp.c_str(), path.c_str()) == 0) return true;
  const int error = errno;
  unlink(temp.c_str());
  return fail(path, std::strerror(error));
}

bool write_text(const std::string& path, const std::string& text) {
  std::string temp;
  if (!make_temp(path, &temp)) return false;
  std::ofstream out(temp, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    unlink(temp.c_str());
    return fail(path, "write failed");
  }
  return put_in_place(temp, path);
}

// The identifier of the definitions file at `path`, after checking its header and size.
bool file_identifier(const std::string& path, std::string* id) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(path, "cannot open");
  std::string header(qorvex::kHeaderSize, '\0');
  in.read(header.data(), static_cast<std::streamsize>(header.size()));
  header.resize(static_cast<std::size_t>(in.gcount()));
  std::string err;
  if (!read_definitions_identifier(header, id, &err)) return fail(path, err);
  in.seekg(0, std::ios::end);
  if (static_cast<uint64_t>(in.tellg()) > qorvex::kMaxDefsFileSize) return fail(path, "too large");
  return true;
}

bool add_entry(zipFile zip, const std::string& from, const char* name) {
  std::ifstream in(from, std::ios::binary);
  if (!in) return fail(from, "cannot open");
  zip_fileinfo info{};
  if (zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_BEST_COMPRESSION, 1) != ZIP_OK)
    return fail(from, "cannot add to the package");
  bool ok = true;
  char buf[1 << 16];
  while (ok && (in.read(buf, sizeof buf) || in.gcount() > 0))
    ok = zipWriteInFileInZip(zip, buf, static_cast<unsigned>(in.gcount())) == ZIP_OK;
  ok = zipCloseFileInZip(zip) == ZIP_OK && ok && !in.bad();
  return ok || fail(from, "cannot add to the package");
}

bool add_bytes(zipFile zip, const std::string& bytes, const char* name) {
  zip_fileinfo info{};
  bool ok = zipOpenNewFileInZip64(zip, name, &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  Z_BEST_COMPRESSION, 0) == ZIP_OK;
  ok = ok && zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK;
  ok = zipCloseFileInZip(zip) == ZIP_OK && ok;
  return ok || fail(name, "cannot add to the package");
}

// `signature` empty: an unsigned package of the two files.
bool write_package(const std::string& defs_dir, const std::string& path,
                   const std::string& signature) {
  std::string temp;
  if (!make_temp(path, &temp)) return false;
  zipFile zip = zipOpen64(temp.c_str(), APPEND_STATUS_CREATE);
  bool ok = zip != nullptr || fail(path, "cannot create the package");
  for (const char* name : kEntries) ok = ok && add_entry(zip, defs_dir + "/" + name, name);
  if (!signature.empty()) ok = ok && add_bytes(zip, signature, kSignatureEntry);
  if (zip != nullptr && zipClose(zip, nullptr) != ZIP_OK) ok = fail(path, "cannot finish");
  if (!ok) {
    unlink(temp.c_str());
    return false;
  }
  return put_in_place(temp, path);
}

int usage() {
  std::fprintf(stderr, "usage: qvxdef publish --out=DIR [--sign-key=KEY.pem] DEFS_DIR\n");
  return 2;
}

}  // namespace

bool read_definitions_identifier(const std::string& header, std::string* id, std::string* err) {
  if (header.size() < qorvex::kHeaderSize ||
      header.compare(0, qorvex::kDefsMagic.size(), qorvex::kDefsMagic) != 0) {
    *err = "not a definitions file";
    return false;
  }
  *id = header.substr(kIdOffset, qorvex::kIdLength);
  for (char c : *id) {
    if (c < '0' || c > '9') {
      *err = "the identifier is not 12 digits";
      return false;
    }
  }
  return true;
}

int run_publish(const std::vector<std::string>& a) {
  std::string out, defs_dir, key;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].rfind("--out=", 0) == 0) {
      out = a[i].substr(6);
    } else if (a[i].rfind("--sign-key=", 0) == 0 && a[i].size() > 11) {
      key = a[i].substr(11);
    } else if (a[i] == "--out" && i + 1 < a.size()) {
      out = a[++i];
    } else if (defs_dir.empty() && !a[i].empty() && a[i][0] != '-') {
      defs_dir = a[i];
    } else {
      return usage();
    }
  }
  if (out.empty() || defs_dir.empty()) return usage();
  std::string ids[2];
  for (int i = 0; i < 2; ++i)
    if (!file_identifier(defs_dir + "/" + kEntries[i], &ids[i])) return 1;
  if (ids[0] != ids[1]) {
    fail(defs_dir, "the two files carry different identifiers " + ids[0] + " and " + ids[1]);
    return 1;
  }
  const std::string& id = ids[0];
  // The signature is made before anything is written: a bad key leaves the release folder alone.
  std::string signature;
  if (!key.empty()) {
    std::string statement, err;
    if (!release_statement(defs_dir, id, &statement, &err) ||
        !sign_statement(key, statement, &signature, &err)) {
      fail("signing", err);
      return 1;
    }
  }
  const std::string folder = out + "/" + kServerFolder;
  const std::string stem = folder + "/sigbase-v2-z-" + id;
  // Something other than a folder at `folder` itself is reported by the first write into it.
  std::string refused;
  if (!common::make_folders(folder, 0755, &refused) && !refused.empty()) {
    fail(refused, std::strerror(errno));
    return 1;
  }
  if (!write_package(defs_dir, stem + ".zip", signature)) return 1;
  const std::string description = "defId=" + id + "\npackage=sigbase-v2-z-" + id + ".zip\n";
  if (!write_text(stem + ".ini", description)) return 1;
  if (!write_text(folder + "/sigbase-v2-hit.ini", "defId=" + id + "\n")) return 1;
  std::printf("published %s in %s\n", id.c_str(), folder.c_str());
  return 0;
}

}  // namespace qvxdef
