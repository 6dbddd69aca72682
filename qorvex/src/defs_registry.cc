#include "qorvex/src/defs_registry.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

#include "common/platform/eintr.h"
#include "qorvex/include/qorvex.h"

namespace qorvex {

const char* signatures_file_name(int32_t object_type) {
  switch (object_type) {
    case QVX_TYPE_V1:
      return "sigbase.def";
    // The v2 set carries every kind of signature, archives and app packages included, so the
    // ZIP and ANDROID types read it too.
    case QVX_TYPE_ZIP:
    case QVX_TYPE_ANDROID:
    case QVX_TYPE_V2:
      return "sigbase-v2.def";
    case QVX_TYPE_V2S:
      return "sigbase-v2s.def";
    default:
      return nullptr;
  }
}

std::string join_path(const std::string& dir, const char* name) {
  if (dir.empty() || dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

bool read_small_file(const std::string& path, uint64_t max_size, std::string* out,
                     std::string* err) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return *err = path + ": " + std::strerror(errno), false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) <= max_size;
  if (!ok) {
    close(fd);
    return *err = path + ": not a regular file of a sound size", false;
  }
  out->assign(size_t(st.st_size), '\0');
  size_t done = 0;
  while (done < out->size()) {
    ssize_t n =
        common::retry_eintr([&] { return read(fd, out->data() + done, out->size() - done); });
    if (n <= 0) break;
    done += size_t(n);
  }
  close(fd);
  // A file that shrank while it was read is judged by what was read: the length check refuses it.
  out->resize(done);
  return true;
}

loaded_file::loaded_file(const std::string& path, uint64_t max_size, std::string* err) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *err = path + ": " + std::strerror(errno);
    return;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > max_size) {
    close(fd);
    *err = path + ": not a regular file of a sound size";
    return;
  }
  // Mapped, not read: the tables are used where they lie, only the pages a lookup touches are
  // read, and processes using the same file share its pages through the page cache. Definitions
  // are replaced by renaming a new file over the old one, which leaves this mapping intact; a file
  // truncated in place while mapped would fault the process.
  size_ = size_t(st.st_size);
  if (size_ > 0) {
    void* p = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    data_ = p == MAP_FAILED ? nullptr : p;
    // Lookups jump around the tables: reading ahead would only fill memory.
    if (data_ != nullptr) madvise(data_, size_, MADV_RANDOM);
  }
  close(fd);
  ok_ = data_ != nullptr || size_ == 0;
  if (!ok_) *err = path + ": " + std::strerror(errno);
}

void loaded_file::drop(std::string_view part) const {
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  uintptr_t from = (uintptr_t(part.data()) + page - 1) & ~(page - 1);
  uintptr_t to = (uintptr_t(part.data()) + part.size()) & ~(page - 1);
  if (data_ != nullptr && to > from)
    madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

loaded_file::~loaded_file() {
  if (data_ != nullptr) munmap(data_, size_);
}

namespace {

std::mutex registry_mutex;
std::map<std::string, std::weak_ptr<const defs_set>>& registry() {
  static auto* map = new std::map<std::string, std::weak_ptr<const defs_set>>();
  return *map;
}

bool load_file(const loaded_file& file, const std::string& path, defs_role role, defs_file* out,
               std::string* err) {
  if (!file.ok()) return false;
  if (!decode_defs_file(file.bytes(), role, out, err)) return *err = path + ": " + *err, false;
  return true;
}

}  // namespace

int32_t acquire_defs(const std::string& dir, int32_t object_type,
                     std::shared_ptr<const defs_set>* out, std::string* err) {
  const char* name = signatures_file_name(object_type);
  if (name == nullptr) return *err = "unknown object type", QVX_R_INVALID_DATA;
  if (dir.empty()) return *err = "no definitions folder", QVX_R_INVALID_DATA;
  std::string sig_path = join_path(dir, name);
  std::string companion_path = join_path(dir, kCompanionFileName);
  std::string key = sig_path + '\n' + companion_path;
  // Loading under the lock makes threads that create objects at once wait for the one load.
  std::lock_guard<std::mutex> lock(registry_mutex);
  if (auto held = registry()[key].lock()) {
    *out = std::move(held);
    return QVX_R_SUCCESS;
  }
  auto sig_bytes = std::make_shared<loaded_file>(sig_path, kMaxDefsFileSize, err);
  if (!sig_bytes->ok()) return QVX_R_INVALID_DATA;
  auto companion_bytes = std::make_shared<loaded_file>(companion_path, kMaxDefsFileSize, err);
  defs_file sig, companion;
  if (!load_file(*sig_bytes, sig_path, defs_role::signatures, &sig, err) ||
      !load_file(*companion_bytes, companion_path, defs_role::companion, &companion, err)) {
    return QVX_R_INVALID_DATA;
  }
  // The pattern database is copied out when the set is made.
  std::string_view database = sig.database;
  const loaded_file* sig_file = sig_bytes.get();
  sig.storage = std::move(sig_bytes);
  companion.storage = std::move(companion_bytes);
  std::unique_ptr<defs_set> set;
  if (!defs_set::create(std::move(sig), std::move(companion), &set, err)) return QVX_R_INVALID_DATA;
  sig_file->drop(database);
  std::shared_ptr<const defs_set> shared(std::move(set));
  registry()[key] = shared;
  *out = std::move(shared);
  return QVX_R_SUCCESS;
}

}  // namespace qorvex
