#include "qorvex/src/database_memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace qorvex {
namespace {
constexpr size_t kHugePage = 2 << 20;

#ifndef MADV_POPULATE_READ
#define MADV_POPULATE_READ 22
#endif

}  // namespace

database_memory::~database_memory() {
  if (data_ != nullptr) munmap(data_, size_);
}

bool database_memory::reserve(size_t n) {
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
  size_t rounded = (n + page - 1) & ~(page - 1);
  // A huge page more than asked for, so the block can start on a huge-page boundary; the rest
  // is given back.
  size_t mapped = rounded + kHugePage;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return false;
  uintptr_t start = (uintptr_t(p) + kHugePage - 1) & ~(kHugePage - 1);
  size_t head = start - uintptr_t(p), tail = mapped - head - rounded;
  if (head > 0) munmap(p, head);
  if (tail > 0) munmap(reinterpret_cast<char*>(start) + rounded, tail);
  madvise(reinterpret_cast<void*>(start), rounded, MADV_HUGEPAGE);  // advice only: may be refused
  data_ = reinterpret_cast<void*>(start);
  size_ = rounded;
  return true;
}

void prefault(std::string_view bytes) {
  if (bytes.empty()) return;
  const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
  uintptr_t from = uintptr_t(bytes.data()) & ~(page - 1);
  uintptr_t to = (uintptr_t(bytes.data()) + bytes.size() + page - 1) & ~(page - 1);
  // Advice only: an older kernel refuses it and the pages fault in one by one.
  madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_READ);
}

}  // namespace qorvex
