#include "qorvex/src/hash_table.h"

#include <algorithm>

namespace qorvex {

bool size_list::contains(uint64_t v) const {
  size_t lo = 0, hi = count_;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    uint64_t m = at(mid);
    if (m == v) return true;
    if (m < v)
      lo = mid + 1;
    else
      hi = mid;
  }
  return false;
}

void hash_table::range(const uint8_t* digest, size_t* lo, size_t* hi) const {
  *lo = 0;
  *hi = count_;
  if (index_ == nullptr) return;
  size_t prefix = size_t(digest[0]) << 8 | digest[1];
  // A damaged index only narrows the search wrongly; it never points outside the table.
  *lo = std::min<size_t>(common::le32(index_ + 4 * prefix), count_);
  *hi = std::max(*lo, std::min<size_t>(common::le32(index_ + 4 * prefix + 4), count_));
}

size_t hash_table::lower_bound(const uint8_t* digest, uint64_t size) const {
  size_t lo = 0, hi = 0;
  range(digest, &lo, &hi);
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    const char* r = data_ + mid * record_;
    int c = std::memcmp(r, digest, digest_len_);
    bool below = c < 0 || (c == 0 && common::le64(r + digest_len_) < size);
    if (below)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

bool hash_table::equal(size_t i, const uint8_t* digest, uint64_t size) const {
  if (i >= count_) return false;
  const char* r = data_ + i * record_;
  return std::memcmp(r, digest, digest_len_) == 0 && common::le64(r + digest_len_) == size;
}

int64_t hash_table::find(const uint8_t* digest, uint64_t size) const {
  size_t i = lower_bound(digest, size);
  if (equal(i, digest, size)) return int64_t(i);
  // kAnySize sorts after every real size of the same digest.
  i = lower_bound(digest, kAnySize);
  return equal(i, digest, kAnySize) ? int64_t(i) : -1;
}

}  // namespace qorvex
