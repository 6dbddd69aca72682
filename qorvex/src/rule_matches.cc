#include "qorvex/src/rule_matches.h"

#include <algorithm>

namespace qorvex {

rule_matches::rule_matches(const defs_set* defs) : defs_(defs) {
  const defs_rules& r = defs->rules();
  counts_.assign(r.slots, 0);
  kept_.resize(r.slots);
  results_.assign(r.rules.size(), 0);
  for (uint32_t i = 0; i < r.rules.size(); ++i) {
    if (r.rules[i].flags & kRuleGlobal) globals_.push_back(i);
  }
}

namespace {
constexpr size_t kMaxCandidates = 1 << 16;
constexpr size_t kWindow = 64 << 10;  // bytes read at once while checking candidates
}  // namespace

void rule_matches::begin(uint64_t size, const reader* read) {
  read_ = read;
  candidates_.clear();
  for (uint32_t slot : touched_) {
    counts_[slot] = 0;
    kept_[slot].clear();
  }
  touched_.clear();
  for (uint32_t rule : evaluated_) results_[rule] = 0;
  evaluated_.clear();
  kept_total_ = 0;
  size_ = size;
}

void rule_matches::add(uint32_t index, uint64_t end) {
  const defs_rules& r = defs_->rules();
  if (index >= r.patterns.size()) return;
  const defs_rule_pattern& p = r.patterns[index];
  if (p.flags & kPatternVerify) {
    // Only whether it matched is asked, and it did.
    if (!(p.flags & kPatternPositions) && counts_[p.slot] != 0) return;
    if (end < p.anchor_end) return;
    candidates_.push_back({end - p.anchor_end, index});
    if (candidates_.size() >= kMaxCandidates) verify_candidates();
    return;
  }
  record(p, end);
}

void rule_matches::verify_candidates() {
  const defs_rules& r = defs_->rules();
  std::sort(candidates_.begin(), candidates_.end(), [](const candidate& a, const candidate& b) {
    return a.start < b.start || (a.start == b.start && a.index < b.index);
  });
  uint64_t at = 0;  // window_ holds the bytes from here
  window_.clear();
  for (size_t i = 0; i < candidates_.size(); ++i) {
    const candidate& c = candidates_[i];
    if (i > 0 && c.start == candidates_[i - 1].start && c.index == candidates_[i - 1].index)
      continue;
    const defs_rule_pattern& p = r.patterns[c.index];
    if (!(p.flags & kPatternPositions) && counts_[p.slot] != 0) continue;
    if (c.start >= size_) continue;
    uint64_t want = std::min<uint64_t>(p.max_length, size_ - c.start);
    if (c.start < at || c.start + want > at + window_.size()) {
      // The window from this start on, as much of it as the object has.
      size_t n = size_t(std::min<uint64_t>(std::max<uint64_t>(kWindow, want), size_ - c.start));
      window_.resize(n);
      at = c.start;
      if (!read(at, window_.data(), n)) {
        window_.clear();
        continue;  // unreadable now: the object changed under the scan
      }
    }
    const uint8_t* d = window_.data() + (c.start - at);
    if (hex_matches_at(*p.tokens, d, size_t(want))) record(p, c.start + p.length);
  }
  candidates_.clear();
}

void rule_matches::record(const defs_rule_pattern& p, uint64_t end) {
  uint64_t& count = counts_[p.slot];
  if (count == 0) touched_.push_back(p.slot);
  if (!(p.flags & kPatternPositions)) {
    count = 1;  // only whether it matched is asked
    return;
  }
  if (count >= kMaxStringMatches || p.length == 0 || end < p.length) return;
  // Forms of one string may report the same start twice; duplicates go when the matches are
  // sorted, so the count here is an upper bound until then.
  ++count;
  if (kept_total_ < kMaxKeptTotal) {
    kept_[p.slot].push_back({end - p.length, p.length});
    ++kept_total_;
  }
}

bool rule_matches::match(uint32_t slot, uint64_t index, pattern_match* out) const {
  const std::vector<pattern_match>& kept = kept_[slot];
  if (index >= kept.size()) return false;
  *out = kept[index];
  return true;
}

bool rule_matches::read(uint64_t offset, void* out, size_t n) const {
  if (offset > size_ || size_ - offset < n) return false;
  return (*read_)(offset, out, n);
}

void rule_matches::finish(const std::function<void(uint32_t entry)>& report) {
  const defs_rules& r = defs_->rules();
  if (r.rules.empty()) return;
  verify_candidates();
  // Matches in start order, each start once (as the condition sees them).
  for (uint32_t slot : touched_) {
    std::vector<pattern_match>& kept = kept_[slot];
    if (kept.empty()) continue;
    bool complete = counts_[slot] == kept.size();
    std::sort(kept.begin(), kept.end(), [](const pattern_match& a, const pattern_match& b) {
      return a.start < b.start || (a.start == b.start && a.length > b.length);
    });
    kept.erase(std::unique(kept.begin(), kept.end(),
                           [](const pattern_match& a, const pattern_match& b) {
                             return a.start == b.start;
                           }),
               kept.end());
    if (complete) counts_[slot] = kept.size();
  }
  const std::vector<uint32_t>& slot_rules = defs_->slot_rules();
  evaluated_ = defs_->unconditional_rules();
  for (uint32_t slot : touched_) evaluated_.push_back(slot_rules[slot]);
  std::sort(evaluated_.begin(), evaluated_.end());
  evaluated_.erase(std::unique(evaluated_.begin(), evaluated_.end()), evaluated_.end());
  // In rule order, so a rule finds the results of the rules it names.
  std::vector<uint32_t> failed_ns;
  for (uint32_t i : evaluated_) {
    results_[i] = run_program(r.rules[i].program, *this) ? 1 : 0;
  }
  // A global rule that was not evaluated did not hold either.
  for (uint32_t i : globals_) {
    if (!results_[i]) failed_ns.push_back(r.rules[i].ns);
  }
  for (uint32_t i : evaluated_) {
    const defs_rule& d = r.rules[i];
    if (!results_[i] || d.entry == kNoEntry) continue;
    if (std::find(failed_ns.begin(), failed_ns.end(), d.ns) != failed_ns.end()) continue;
    report(d.entry);
  }
  read_ = nullptr;
}

}  // namespace qorvex
