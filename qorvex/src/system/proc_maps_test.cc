#include "qorvex/src/system/proc_maps.h"

#include <gtest/gtest.h>

namespace qorvex {
namespace {

TEST(proc_maps, parses_lines) {
  struct row {
    const char* line;
    bool ok;
    uint64_t lo, hi;
    const char* path;
    bool readable, executable, file_backed, anonymous, heap;
  };
  const row rows[] = {
      {"55d0c0000000-55d0c0021000 rw-p 00000000 00:00 0                          [heap]", true,
       0x55d0c0000000, 0x55d0c0021000, "[heap]", true, false, false, true, true},
      {"7f0000000000-7f0000001000 r-xp 00001000 fe:01 1234   /usr/lib/libc.so.6", true,
       0x7f0000000000, 0x7f0000001000, "/usr/lib/libc.so.6", true, true, true, false, false},
      {"7f0000001000-7f0000002000 rw-p 00000000 00:00 0 ", true, 0x7f0000001000, 0x7f0000002000, "",
       true, false, false, true, true},
      {"7ffd0000-7ffe0000 rw-p 00000000 00:00 0   [stack]", true, 0x7ffd0000, 0x7ffe0000, "[stack]",
       true, false, false, true, false},
      {"1000-2000 ---p 00000000 00:00 0", true, 0x1000, 0x2000, "", false, false, false, true,
       false},
      {"1000-2000 rw-s 00000000 00:01 99 /dev/zero (deleted)", true, 0x1000, 0x2000,
       "/dev/zero (deleted)", true, false, true, false, false},
      {"1000-2000 r--p 00000000 00:00 0 [anon:arena one]", true, 0x1000, 0x2000, "[anon:arena one]",
       true, false, false, true, false},
      {"3000-3000 r--p 00000000 00:00 0", false, 0, 0, "", false, false, false, false,
       false},  // empty range
      {"zz-2000 r--p 00000000 00:00 0", false, 0, 0, "", false, false, false, false, false},
      {"1000-2000 r--p", false, 0, 0, "", false, false, false, false, false},
      {"", false, 0, 0, "", false, false, false, false, false},
  };
  for (const row& r : rows) {
    memory_region region;
    ASSERT_EQ(parse_maps_line(r.line, &region), r.ok) << r.line;
    if (!r.ok) continue;
    EXPECT_EQ(region.lo, r.lo) << r.line;
    EXPECT_EQ(region.hi, r.hi) << r.line;
    EXPECT_EQ(region.path, r.path) << r.line;
    EXPECT_EQ(region.readable, r.readable) << r.line;
    EXPECT_EQ(region.executable, r.executable) << r.line;
    EXPECT_EQ(region.file_backed(), r.file_backed) << r.line;
    EXPECT_EQ(region.anonymous(), r.anonymous) << r.line;
    EXPECT_EQ(region.heap(), r.heap) << r.line;
  }
}

TEST(proc_maps, keeps_the_range_text_and_marks_deleted_files) {
  auto regions = parse_maps(
      "00400000-00401000 r-xp 00000000 08:01 77 /tmp/gone (deleted)\n"
      "bad line\n"
      "00600000-00601000 rw-p 00000000 00:00 0\n");
  ASSERT_EQ(regions.size(), 2u);
  EXPECT_EQ(regions[0].range, "00400000-00401000");
  EXPECT_TRUE(regions[0].deleted());
  EXPECT_FALSE(regions[1].deleted());
}

TEST(proc_maps, reads_userfaultfd_marks_from_smaps) {
  auto regions = parse_maps(
      "VmFlags: um\n"  // before any region: ignored
      "00600000-00601000 rw-p 00000000 00:00 0 [heap]\n"
      "Size:                  4 kB\n"
      "VmFlags: rd wr mr mw me ac um\n"
      "00700000-00701000 rw-p 00000000 00:00 0\n"
      "Size:                  4 kB\n"
      "VmFlags: rd wr mr mw me ac uw\n"
      "00800000-00801000 rw-p 00000000 00:00 0\n"
      "VmFlags: rd wr ui\n");
  ASSERT_EQ(regions.size(), 3u);
  EXPECT_TRUE(regions[0].userfault);
  EXPECT_FALSE(regions[1].userfault);  // write-protect tracking does not hold up reads
  EXPECT_TRUE(regions[2].userfault);
}

}  // namespace
}  // namespace qorvex
