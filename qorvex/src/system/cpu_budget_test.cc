// The CPUs the worker pool sizes itself from: cgroup quotas (v2 and v1) found through the
// process's cgroup and the mount table, and the affinity count.
#include "qorvex/src/system/cpu_budget.h"

#include <gtest/gtest.h>

#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

TEST(CpuBudget, CpuMaxTexts) {
  struct text_case {
    const char* text;
    unsigned cpus;
  };
  for (const text_case& c :
       {text_case{"max 100000\n", 0}, text_case{"100000 100000\n", 1}, text_case{"50000 100000", 1},
        text_case{"150000 100000", 2}, text_case{"400000 100000", 4}, text_case{"", 0},
        text_case{"100000 0", 0}, text_case{"-1 100000", 0}, text_case{"1 2 3", 0}}) {
    EXPECT_EQ(c.cpus, cpu_max_cpus(c.text)) << c.text;
  }
}

TEST(CpuBudget, AffinityWithinQuota) {
  EXPECT_EQ(1u, usable_cpus(1, 0));
  EXPECT_EQ(8u, usable_cpus(8, 0));
  EXPECT_EQ(1u, usable_cpus(8, 1));
  EXPECT_EQ(2u, usable_cpus(2, 4));
  EXPECT_EQ(1u, usable_cpus(0, 0));
}

TEST(CpuBudget, FindsTheCgroupFolder) {
  std::string top, folder;
  bool v2 = false;
  // Unified hierarchy only.
  ASSERT_TRUE(
      cpu_cgroup_folder("0::/user.slice/app.scope\n",
                        "25 1 0:22 / /sys/fs/cgroup rw,nosuid - cgroup2 cgroup2 rw,nsdelegate\n",
                        &top, &folder, &v2));
  EXPECT_EQ("/sys/fs/cgroup", top);
  EXPECT_EQ("/sys/fs/cgroup/user.slice/app.scope", folder);
  EXPECT_TRUE(v2);
  // A v1 "cpu" hierarchy wins, seen from a mount of a part of it.
  ASSERT_TRUE(cpu_cgroup_folder(
      "3:cpu,cpuacct:/docker/abc\n2:memory:/docker/abc\n0::/\n",
      "30 25 0:27 /docker /sys/fs/cgroup/cpu,cpuacct rw - cgroup cgroup rw,cpu,cpuacct\n"
      "31 25 0:28 / /sys/fs/cgroup/memory rw - cgroup cgroup rw,memory\n",
      &top, &folder, &v2));
  EXPECT_EQ("/sys/fs/cgroup/cpu,cpuacct", top);
  EXPECT_EQ("/sys/fs/cgroup/cpu,cpuacct/abc", folder);
  EXPECT_FALSE(v2);
  // "cpuacct" alone is not "cpu".
  EXPECT_FALSE(cpu_cgroup_folder("2:cpuacct:/\n", "30 25 0:27 / /c rw - cgroup cgroup rw,cpuacct\n",
                                 &top, &folder, &v2));
}

TEST(CpuBudget, SmallestQuotaOnTheWayUp) {
  scoped_temp_dir root;
  write_file(root / "cpu.max", "max 100000\n");
  write_file(root / "a/cpu.max", "200000 100000\n");
  write_file(root / "a/b/cpu.max", "max 100000\n");
  EXPECT_EQ(2u, cgroup_quota_cpus(root.path(), root / "a/b", true));
  write_file(root / "a/b/cpu.max", "50000 100000\n");
  EXPECT_EQ(1u, cgroup_quota_cpus(root.path(), root / "a/b", true));
  // A folder without its own file takes its parent's; nothing above the top is read.
  EXPECT_EQ(1u, cgroup_quota_cpus(root.path(), root / "a/b/c", true));
  EXPECT_EQ(0u, cgroup_quota_cpus(root / "a/b/c", root / "a/b/c", true));
  // v1: -1 is no limit.
  write_file(root / "v1/cpu.cfs_quota_us", "-1\n");
  write_file(root / "v1/cpu.cfs_period_us", "100000\n");
  write_file(root / "v1/x/cpu.cfs_quota_us", "300000\n");
  write_file(root / "v1/x/cpu.cfs_period_us", "100000\n");
  EXPECT_EQ(3u, cgroup_quota_cpus(root / "v1", root / "v1/x", false));
  EXPECT_EQ(0u, cgroup_quota_cpus(root / "v1", root / "v1", false));
}

TEST(CpuBudget, ThisProcessGetsAtLeastOne) { EXPECT_GE(usable_cpus(), 1u); }

}  // namespace
}  // namespace qorvex
