// The per-object match records of a set's rules and their evaluation after the matching pass.
// Reused from object to object; only what an object touched is cleared. Not thread-safe.
#ifndef QORVEX_SRC_RULE_MATCHES_H_
#define QORVEX_SRC_RULE_MATCHES_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "qorvex/src/condition.h"
#include "qorvex/src/defs_set.h"

namespace qorvex {

// yara counts at most this many matches of one string; this engine keeps as many positions of
// one string, and at most kMaxKeptTotal of one object (queries past them answer undefined).
inline constexpr uint64_t kMaxStringMatches = 1000000;
inline constexpr uint64_t kMaxKeptTotal = 4000000;

class rule_matches : public condition_input {
 public:
  // Reads n bytes of the object at an offset; false past its end or on a read error.
  using reader = std::function<bool(uint64_t offset, void* out, size_t n)>;

  explicit rule_matches(const defs_set* defs);

  // read serves the object's bytes until finish() returns.
  void begin(uint64_t size, const reader* read);
  // A match of rule pattern `index` (counted from the first rule pattern) ending at `end`.
  void add(uint32_t index, uint64_t end);
  // Evaluates the rules and calls report(entry) for each one that holds and reports.
  void finish(const std::function<void(uint32_t entry)>& report);

  uint64_t filesize() const override { return size_; }
  uint64_t match_count(uint32_t slot) const override { return counts_[slot]; }
  bool match(uint32_t slot, uint64_t index, pattern_match* out) const override;
  bool read(uint64_t offset, void* out, size_t n) const override;
  bool rule_holds(uint32_t rule) const override { return results_[rule] != 0; }

 private:
  // A string match at start, of a pattern with kPatternVerify, before it is checked.
  struct candidate {
    uint64_t start;
    uint32_t index;
  };
  void record(const defs_rule_pattern& p, uint64_t end);
  void verify_candidates();

  const defs_set* defs_;
  std::vector<candidate> candidates_;  // checked in batches of at most kMaxCandidates
  std::vector<uint8_t> window_;
  uint64_t size_ = 0;
  std::vector<uint64_t> counts_;                  // per slot
  std::vector<std::vector<pattern_match>> kept_;  // per slot, positions when asked for
  std::vector<uint32_t> touched_;                 // slots with matches
  std::vector<uint8_t> results_;                  // per rule
  std::vector<uint32_t> evaluated_;
  std::vector<uint32_t> globals_;
  uint64_t kept_total_ = 0;
  const reader* read_ = nullptr;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_RULE_MATCHES_H_
