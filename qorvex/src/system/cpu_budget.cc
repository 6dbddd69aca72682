#include "qorvex/src/system/cpu_budget.h"

#include <sched.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

constexpr size_t kMaxCgroupLevels = 64;

unsigned quota_cpus(uint64_t quota, uint64_t period) {
  if (period == 0) return 0;
  return unsigned(std::min<uint64_t>(quota / period + (quota % period != 0), 1u << 16));
}

// A v1 hierarchy's folder: quota -1 means no limit.
unsigned v1_cpus(const std::string& folder) {
  uint64_t quota = 0, period = 0;
  if (!parse_unsigned(read_first_line(folder + "/cpu.cfs_quota_us"), 10, &quota) ||
      !parse_unsigned(read_first_line(folder + "/cpu.cfs_period_us"), 10, &period)) {
    return 0;
  }
  return quota_cpus(quota, period);
}

bool has_item(std::string_view list, std::string_view item) {
  while (!list.empty()) {
    size_t comma = list.find(',');
    if (list.substr(0, comma) == item) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

unsigned cpu_max_cpus(std::string_view text) {
  std::vector<std::string_view> words = split_words(trim(text));
  uint64_t quota = 0, period = 0;
  if (words.size() != 2 || !parse_unsigned(words[0], 10, &quota) ||
      !parse_unsigned(words[1], 10, &period)) {
    return 0;  // "max" (no limit) or not understood
  }
  return quota_cpus(quota, period);
}

unsigned cgroup_quota_cpus(const std::string& top, const std::string& folder, bool v2) {
  unsigned least = 0;
  std::string at = folder;
  for (size_t level = 0; level < kMaxCgroupLevels; ++level) {
    unsigned cpus = v2 ? cpu_max_cpus(read_first_line(at + "/cpu.max")) : v1_cpus(at);
    if (cpus != 0 && (least == 0 || cpus < least)) least = cpus;
    if (at.size() <= top.size()) break;
    at.resize(at.find_last_of('/'));
    if (at.size() < top.size()) break;
  }
  return least;
}

bool cpu_cgroup_folder(std::string_view self_cgroup, std::string_view mountinfo, std::string* top,
                       std::string* folder, bool* v2) {
  // The process's path in the v2 hierarchy ("0::/path") and in a v1 one that has "cpu".
  std::string_view v2_path, v1_path;
  bool have_v2 = false, have_v1 = false;
  for (std::string_view line : split_lines(self_cgroup)) {
    size_t first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) continue;
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    if (line.substr(0, first) == "0" && controllers.empty()) {
      v2_path = line.substr(second + 1);
      have_v2 = true;
    } else if (has_item(controllers, "cpu")) {
      v1_path = line.substr(second + 1);
      have_v1 = true;
    }
  }
  // A v1 "cpu" hierarchy is where the quota lives when there is one; else the unified one.
  for (bool want_v2 : {false, true}) {
    if (want_v2 ? !have_v2 : !have_v1) continue;
    for (std::string_view line : split_lines(mountinfo)) {
      size_t dash = line.find(" - ");
      if (dash == std::string_view::npos) continue;
      std::vector<std::string_view> left = split_words(line.substr(0, dash));
      std::vector<std::string_view> right = split_words(line.substr(dash + 3));
      if (left.size() < 5 || right.size() < 3) continue;
      bool match =
          want_v2 ? right[0] == "cgroup2" : right[0] == "cgroup" && has_item(right[2], "cpu");
      if (!match) continue;
      std::string_view path = want_v2 ? v2_path : v1_path, root = left[3];
      // In a cgroup namespace or a bind mount, the mount shows the hierarchy from `root` down.
      if (root != "/" && path.substr(0, root.size()) == root) path.remove_prefix(root.size());
      *top = std::string(left[4]);
      *folder = *top + std::string(path == "/" ? "" : path);
      *v2 = want_v2;
      return true;
    }
  }
  return false;
}

unsigned usable_cpus(unsigned affinity, unsigned quota) {
  unsigned n = std::max(1u, affinity);
  return quota == 0 ? n : std::max(1u, std::min(n, quota));
}

unsigned usable_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  // More CPUs than a cpu_set_t holds (1,024) make the call fail: count the machine's then.
  unsigned affinity = sched_getaffinity(0, sizeof set, &set) == 0
                          ? unsigned(CPU_COUNT(&set))
                          : std::thread::hardware_concurrency();
  std::string self_cgroup, mountinfo, top, folder;
  bool v2 = false;
  unsigned quota = 0;
  if (read_small_file("/proc/self/cgroup", 64 << 10, &self_cgroup) == 0 &&
      read_small_file("/proc/self/mountinfo", 1 << 20, &mountinfo) == 0 &&
      cpu_cgroup_folder(self_cgroup, mountinfo, &top, &folder, &v2)) {
    quota = cgroup_quota_cpus(top, folder, v2);
  }
  return usable_cpus(affinity, quota);
}

}  // namespace qorvex
