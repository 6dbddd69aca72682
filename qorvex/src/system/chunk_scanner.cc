#include "qorvex/src/system/chunk_scanner.h"

#include <algorithm>

namespace qorvex {
namespace {
constexpr uint8_t kUnanchored = 1;
constexpr uint8_t kStartAnchored = 2;
}  // namespace

chunk_scanner::chunk_scanner(scan_context& context) : context_(context) {
  const defs_set& defs = *context.defs();
  anchoring_.assign(defs.entry_count(), 0);
  size_t longest = 0;
  for (const defs_pattern& p : defs.patterns()) {
    if (p.entry >= anchoring_.size()) continue;
    if (p.anchor == anchor_type::none) {
      anchoring_[p.entry] |= kUnanchored;
      longest = std::max<size_t>(longest, p.length);
    } else if (p.anchor == anchor_type::start) {
      anchoring_[p.entry] |= kStartAnchored;
    }
  }
  overlap_ = std::min(longest > 0 ? longest - 1 : 0, kMaxOverlap);
}

void chunk_scanner::begin() {
  result_ = raw_result();
  window_.clear();
  next_ = 0;
}

void chunk_scanner::merge(const raw_result& piece, bool at_start) {
  if (piece.error != 0 && result_.error == 0) result_.error = piece.error;
  for (uint32_t entry : piece.entries) {
    uint8_t how = entry < anchoring_.size() ? anchoring_[entry] : kUnanchored;
    // Hash entries have no pattern: a piece equal to a known file is a real match.
    bool keep = how == 0 || (how & kUnanchored) != 0 || (at_start && (how & kStartAnchored) != 0);
    if (!keep) continue;
    auto& hits = result_.entries;
    auto it = std::lower_bound(hits.begin(), hits.end(), entry);
    if ((it == hits.end() || *it != entry) && hits.size() < kMaxHits) hits.insert(it, entry);
  }
}

void chunk_scanner::feed(uint64_t position, std::string_view bytes) {
  if (bytes.empty()) return;
  if (position != next_) window_.clear();
  bool at_start = position == 0;
  size_t kept = window_.size();
  window_.append(bytes);
  raw_result piece;
  context_.scan_bytes(window_, &piece);
  // A start anchor means the start of the object, which only the first piece holds.
  merge(piece, at_start && kept == 0);
  result_.bytes += bytes.size();
  next_ = position + bytes.size();
  if (window_.size() > overlap_) window_.erase(0, window_.size() - overlap_);
}

}  // namespace qorvex
