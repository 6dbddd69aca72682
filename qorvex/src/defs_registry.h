// The process-wide cache of loaded definitions sets: objects created from the same files share
// one set, loaded once, and the set is freed when its last object closes.
#ifndef QORVEX_SRC_DEFS_REGISTRY_H_
#define QORVEX_SRC_DEFS_REGISTRY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "qorvex/src/defs_set.h"

namespace qorvex {

// The signatures file read for an object type (2, 6, 10, 14, 18), or null for any other type.
const char* signatures_file_name(int32_t object_type);
inline constexpr const char* kCompanionFileName = "qorvexcon-v2.def";

// dir + "/" + name, adding the separator only when dir does not end in one.
std::string join_path(const std::string& dir, const char* name);

// Reads a whole regular file of at most max_size bytes. False with a reason otherwise.
bool read_small_file(const std::string& path, uint64_t max_size, std::string* out,
                     std::string* err);

// A whole regular file of at most max_size bytes, mapped read-only. ok() is false, with a reason
// in *err, when it cannot be opened or mapped.
class loaded_file {
 public:
  loaded_file(const std::string& path, uint64_t max_size, std::string* err);
  ~loaded_file();
  loaded_file(const loaded_file&) = delete;
  loaded_file& operator=(const loaded_file&) = delete;
  bool ok() const { return ok_; }
  std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }
  // Unmaps the pages wholly inside part (of bytes()), which is read no more: they leave the
  // process's memory, not the page cache; reading them again would map them again.
  void drop(std::string_view part) const;

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
  bool ok_ = false;
};

// The set for the definitions folder and object type, loading it when no object holds it yet.
// Thread-safe. Returns 0 and fills *out, or -2 (QVX_R_INVALID_DATA) when the type is unknown or a
// file is missing, unreadable, damaged or of a newer format; *err then says why.
int32_t acquire_defs(const std::string& dir, int32_t object_type,
                     std::shared_ptr<const defs_set>* out, std::string* err);

}  // namespace qorvex

#endif  // QORVEX_SRC_DEFS_REGISTRY_H_
