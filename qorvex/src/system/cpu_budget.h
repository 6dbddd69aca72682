// How many CPUs this process may keep busy, for sizing the worker pool: the CPUs of its affinity
// mask (taskset, cpusets), within the CPU quota of its cgroup and of every cgroup above it
// (cgroup v2 `cpu.max`, v1 `cpu.cfs_quota_us` over `cpu.cfs_period_us`). A container limited to
// one CPU gets one worker even on a machine of many cores.
#ifndef QORVEX_SRC_SYSTEM_CPU_BUDGET_H_
#define QORVEX_SRC_SYSTEM_CPU_BUDGET_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace qorvex {

// At least 1.
unsigned usable_cpus();

// The parts, apart so that tests can feed them texts and folders.

// A cgroup v2 `cpu.max` text ("max 100000", "150000 100000") in whole CPUs, rounded up; 0 when
// there is no limit or the text is not understood.
unsigned cpu_max_cpus(std::string_view text);
// The smallest quota in whole CPUs of the cgroup folder `folder` and of its parents up to and
// including `top` (the hierarchy's mount point); 0 when none of them has one.
unsigned cgroup_quota_cpus(const std::string& top, const std::string& folder, bool v2);
// The cgroup folder of this process for the CPU controller, from the texts of /proc/self/cgroup
// and /proc/self/mountinfo: *top gets the mount point. False when there is no such hierarchy.
bool cpu_cgroup_folder(std::string_view self_cgroup, std::string_view mountinfo, std::string* top,
                       std::string* folder, bool* v2);
// The affinity count limited by the quota (0: no quota), at least 1.
unsigned usable_cpus(unsigned affinity, unsigned quota);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_CPU_BUDGET_H_
