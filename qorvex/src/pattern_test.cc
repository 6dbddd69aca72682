#include "qorvex/src/pattern.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "qorvex/src/scan_context.h"
#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

TEST(PatternTest, ParsesTokens) {
  struct {
    const char* body;
    std::vector<pattern_byte> want;
  } cases[] = {
      {"4d 5a", {{0x4d, 0xff}, {0x5a, 0xff}}},
      {"4D5a", {{0x4d, 0xff}, {0x5a, 0xff}}},
      {"4d 5? ?a 5a", {{0x4d, 0xff}, {0x50, 0xf0}, {0x0a, 0x0f}, {0x5a, 0xff}}},
      {"4d ?? 5a", {{0x4d, 0xff}, {0, 0}, {0x5a, 0xff}}},
      {"4d {3} 5a", {{0x4d, 0xff}, {0, 0}, {0, 0}, {0, 0}, {0x5a, 0xff}}},
      {"\"MZ\" 00", {{'M', 0xff}, {'Z', 0xff}, {0, 0xff}}},
      {"\"a b\"", {{'a', 0xff}, {' ', 0xff}, {'b', 0xff}}},
  };
  for (const auto& c : cases) {
    std::vector<pattern_byte> got;
    std::string err;
    EXPECT_TRUE(parse_pattern(c.body, &got, &err)) << c.body << ": " << err;
    EXPECT_EQ(c.want, got) << c.body;
  }
}

TEST(PatternTest, RefusesBadBodies) {
  const char* cases[] = {
      "",          // empty
      "4",         // half a byte
      "4g 5a",     // not hex
      "4d",        // one fixed byte only
      "4d ?? ??",  // one fixed byte only
      "4? 5? 6a",  // nibbles do not count as fixed
      "\"ab",      // unterminated text
      "\"\" 4d 5a",
      "4d {0} 5a",
      "4d {x} 5a",
      "4d {5000} 5a",  // longer than a pattern may be
      "4d 5a }",
  };
  for (const char* body : cases) {
    std::vector<pattern_byte> got;
    std::string err;
    EXPECT_FALSE(parse_pattern(body, &got, &err)) << body;
    EXPECT_FALSE(err.empty()) << body;
  }
}

TEST(PatternTest, RegexEscapesEveryByteAndCountsGaps) {
  std::vector<pattern_byte> p{{'.', 0xff}, {0, 0}, {0, 0}, {0x40, 0xf0}};
  std::string re = pattern_to_regex(p);
  EXPECT_EQ(0u, re.find("\\x2e.{2}[\\x40\\x41")) << re;
  EXPECT_NE(std::string::npos, re.find("\\x4f]")) << re;
}

// The matcher: wildcards and anchors, on contents held in memory.
TEST(MatcherTest, WildcardsAndAnchors) {
  auto set = compile_set(
      "pattern Nibble kind=1 : \"AB\" 4? ?7 \"CD\"\n"
      "pattern Gap kind=1 : \"GAP\" {3} \"END\"\n"
      "pattern Start kind=1 at=2 : \"STA\"\n"
      "pattern End kind=1 end=1 : \"FIN\"\n");
  ASSERT_TRUE(set);
  struct {
    std::string data;
    std::vector<uint32_t> want;
  } cases[] = {
      {"..AB\x41\x07"
       "CD..",
       {0}},
      {"..AB\x4f\xf7"
       "CD..",
       {0}},
      {"..AB\x51\x07"
       "CD..",
       {}},  // high nibble differs
      {"..AB\x41\x08"
       "CD..",
       {}},  // low nibble differs
      {std::string("GAP\0\1\2END", 9), {1}},
      {"GAP12END", {}},  // gap too short
      {"xxSTA......", {2}},
      {"xSTA.......", {}},  // one byte early
      {"xxxSTA.....", {}},  // one byte late
      {"......FIN!", {3}},
      {"......FIN", {}},  // ends at the end, not one byte before it
      {"FIN!FIN!", {3}},  // the later match is the anchored one
      {"xxSTA FIN!", {2, 3}},
  };
  scan_context ctx(set.get());
  for (const auto& c : cases) {
    raw_result r;
    ctx.scan_bytes(c.data, &r);
    EXPECT_EQ(0, r.error);
    EXPECT_EQ(c.want, r.entries) << c.data;
  }
}

TEST(MatcherTest, MatchesAcrossReadChunks) {
  scoped_temp_dir dir;
  auto set = compile_set(
      "pattern Split kind=1 : \"SPLIT-ACROSS\"\npattern Tail kind=1 end=0 : \"TAIL\"\n");
  // The marker straddles the 256 KiB read buffer's boundary.
  std::string content(256 * 1024 - 5, 'x');
  content += "SPLIT-ACROSS";
  content += std::string(300000, 'y') + "TAIL";
  write_file(dir / "big", content);
  int fd = open((dir / "big").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  scan_context ctx(set.get());
  raw_result r;
  ctx.scan_fd(fd, content.size(), &r);
  close(fd);
  EXPECT_EQ(content.size(), r.bytes);
  EXPECT_EQ((std::vector<uint32_t>{0, 1}), r.entries);
}

// A file that shrank after its size was taken (or vanished meanwhile) is scanned as far as it
// goes; end anchors are measured from the size it had, and its hash is not trusted.
TEST(MatcherTest, FileShorterThanItsSizeEndsTheRead) {
  scoped_temp_dir dir;
  auto set =
      compile_set("pattern Mark kind=1 : \"MARK-ONE\"\npattern Tail kind=1 end=0 : \"TAIL\"\n");
  write_file(dir / "f", "xx MARK-ONE TAIL");
  int fd = open((dir / "f").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  scan_context ctx(set.get());
  raw_result r;
  ctx.scan_fd(fd, 1000, &r);
  close(fd);
  EXPECT_EQ(0, r.error);
  EXPECT_EQ(16u, r.bytes);
  EXPECT_EQ(std::vector<uint32_t>{0}, r.entries);
}

}  // namespace
}  // namespace qorvex
