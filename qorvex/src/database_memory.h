// Memory for a deserialized pattern database. A database of tens of megabytes costs a page fault
// per 4 KiB page when it is copied into the heap, and on a virtual machine those faults, not the
// copy, are most of the load time: large ones go to anonymous memory asked for in huge pages.
#ifndef QORVEX_SRC_DATABASE_MEMORY_H_
#define QORVEX_SRC_DATABASE_MEMORY_H_

#include <cstddef>
#include <string_view>

namespace qorvex {

class database_memory {
 public:
  database_memory() = default;
  ~database_memory();
  database_memory(const database_memory&) = delete;
  database_memory& operator=(const database_memory&) = delete;

  // Reserves n bytes (8-byte aligned); false when the memory is not there.
  bool reserve(size_t n);
  void* data() const { return data_; }

 private:
  void* data_ = nullptr;
  size_t size_ = 0;
};

// Maps the pages of bytes (a part of a mapped file) in one call, so reading them does not fault
// page by page.
void prefault(std::string_view bytes);

}  // namespace qorvex

#endif  // QORVEX_SRC_DATABASE_MEMORY_H_
