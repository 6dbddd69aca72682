// Matching an object that arrives in pieces (a memory region read chunk by chunk) with a
// scan_context, which scans whole objects only: each piece is scanned together with the tail of
// the one before, long enough to hold the longest pattern, so a marker that straddles two pieces
// is still found.
#ifndef QORVEX_SRC_SYSTEM_CHUNK_SCANNER_H_
#define QORVEX_SRC_SYSTEM_CHUNK_SCANNER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/scan_context.h"

namespace qorvex {

// Patterns longer than this are only found inside one piece.
inline constexpr size_t kMaxOverlap = 64 << 10;

class chunk_scanner {
 public:
  explicit chunk_scanner(scan_context& context);

  // Starts an object.
  void begin();
  // Scans the bytes found at `position` of the object. Pieces come in ascending order; a piece
  // that does not follow the one before (unreadable pages were skipped) starts afresh.
  void feed(uint64_t position, std::string_view bytes);
  // The object's matches. Patterns anchored to the start count only in a piece at position 0;
  // patterns anchored to the end are not used, as a memory region has no end of file.
  const raw_result& finish() const { return result_; }

 private:
  void merge(const raw_result& piece, bool at_start);

  scan_context& context_;
  size_t overlap_ = 0;
  std::vector<uint8_t> anchoring_;  // per entry: bit 1 an unanchored pattern, bit 2 a start one
  std::string window_;
  uint64_t next_ = 0;  // the position that would follow the last piece
  raw_result result_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_CHUNK_SCANNER_H_
