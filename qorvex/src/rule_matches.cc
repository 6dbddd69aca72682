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

void rule_matches::begin(uint64_t size) {
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

void rule_matches::finish(const reader& read, const std::function<void(uint32_t entry)>& report) {
  const defs_rules& r = defs_->rules();
  if (r.rules.empty()) return;
  read_ = &read;
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
