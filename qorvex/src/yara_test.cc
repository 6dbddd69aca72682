#include <gtest/gtest.h>

#include <algorithm>

#include "qorvex/src/defs_writer.h"
#include "qorvex/src/scan_context.h"
#include "qorvex/src/testing.h"
#include "qorvex/src/yara_parser.h"
#include "qorvex/src/yara_source.h"
#include "qorvex/src/yara_strings.h"

namespace qorvex {
namespace {

struct yara_build {
  std::shared_ptr<const defs_set> set;
  yara_report report;
  std::string err;  // a refused file
};

yara_build build(const std::string& rules) {
  yara_build b;
  source_set src;
  if (!add_yara_source("t.yar", rules, &src, &b.report, &b.err)) return b;
  b.set = load_compiled(src, &b.err);
  EXPECT_TRUE(b.set) << b.err;
  return b;
}

// The names of the rules that report for the data, sorted and joined by spaces.
std::string scan(const defs_set& set, const std::string& data) {
  scan_context ctx(&set);
  raw_result r;
  ctx.scan_bytes(data, &r);
  std::vector<std::string> names;
  for (uint32_t e : r.entries) {
    defs_entry entry;
    EXPECT_TRUE(set.entry(e, &entry));
    names.emplace_back(set.name(entry.name));
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string& n : names) joined += (joined.empty() ? "" : " ") + n;
  return joined;
}

// Each case: rules, then data and the rules yara reports for it (checked against yara 4.2.3).
struct scan_case {
  const char* rules;
  std::vector<std::pair<std::string, std::string>> data;
};

TEST(YaraTest, ReproducesYaraResults) {
  const scan_case cases[] = {
      {R"(rule a { strings: $x = "abc" condition: $x })",
       {{"xxabcxx", "a"}, {"ab", ""}, {"ABC", ""}}},
      {R"(rule w { strings: $x = "ab" wide condition: $x }
          rule aw { strings: $x = "ab" ascii wide condition: $x }
          rule n { strings: $x = "ab" nocase condition: $x })",
       {{std::string("a\0b\0", 4), "aw w"}, {"AB", "n"}, {"ab", "aw n"}}},
      {R"(rule f { strings: $x = "ab" fullword condition: $x })",
       {{"ab", "f"}, {"-ab-", "f"}, {"xab", ""}, {"ab1", ""}, {"ab ab1", "f"}}},
      {R"(rule x { strings: $x = "ab" xor(1-2) condition: $x })",
       {{"ab", ""}, {"`c", "x"}, {"\x63\x60", "x"}}},
      {R"(rule h { strings: $x = { 4d 5a ?? 0? [1-2] ( 41 | 42 43 ) } condition: $x })",
       {{"MZ\x01\x02zA", "h"}, {"MZ\x01\x02zzBC", "h"}, {"MZ\x01\x12zA", ""}, {"MZ\x01\x02A", ""}}},
      // Hex strings found through their longest plain part and checked around it.
      {R"(rule hv { strings: $x = { 4d 5a ?? 41 42 43 44 [0-2] 90 } condition: $x })",
       {{std::string("MZ\0ABCD\x90", 8), "hv"},
        {std::string("MZ\0ABCD\x11\x11\x90", 10), "hv"},
        {std::string("MZ\0ABCD\x11\x11\x11\x90", 11), ""},
        {std::string("Z\0ABCD\x90", 7), ""},
        {std::string("MZ\0ABCD", 7), ""}}},
      {R"(rule hp { strings: $x = { 41 42 43 44 ?? 45 } condition: #x == 2 and @x[2] == 7 })",
       {{"ABCD.EzABCD.E", "hp"}, {"ABCD.EABCD.E", ""}}},
      {R"(rule ha { strings: $x = { 61 62 63 64 ( 01 | 02 03 ) 6? } condition: $x })",
       {{"abcd\x02\x03\x6f", "ha"}, {"abcd\x02\x7f", ""}, {"abcd\x01\x60", "ha"}}},
      {R"(rule r { strings: $x = /a[0-9]{2,3}b/ condition: $x })",
       {{"a12b", "r"}, {"a1234b", ""}, {"A12B", ""}}},
      {R"(rule ri { strings: $x = /a.b/is condition: $x })", {{"A\nB", "ri"}}},
      {R"(rule pe { condition: uint16(0) == 0x5A4D and uint32(uint32(4)) == 0x00004550 })",
       {{std::string("MZ\0\0\x08\0\0\0PE\0\0", 12), "pe"}, {"MZ", ""}}},
      {R"(rule be { condition: uint16be(0) == 0x4d5a and int8(2) == -1 })",
       {{"MZ\xff", "be"}, {"MZ\x01", ""}}},
      {R"(rule sz { condition: filesize > 3 and filesize < 2KB })", {{"abcd", "sz"}, {"abc", ""}}},
      {R"(rule of2 { strings: $a1 = "aa" $a2 = "bb" $c = "cc" condition: 2 of ($a*) and not $c })",
       {{"aabb", "of2"}, {"aabbcc", ""}, {"aa", ""}}},
      {R"(rule none_ { strings: $a = "aa" $b = "bb" condition: none of them })",
       {{"xx", "none_"}, {"bb", ""}}},
      {R"(rule all_ { strings: $a = "aa" $b = "bb" condition: all of them })",
       {{"aabb", "all_"}, {"bb", ""}}},
      {R"(rule cnt { strings: $a = "aa" condition: #a == 3 and @a[2] == 1 and !a[1] == 2 })",
       {{"aaaa", "cnt"}, {"aaa", ""}}},
      {R"(rule at_ { strings: $a = "MZ" condition: $a at 0 and not $a in (1..10) })",
       {{"MZxxMZ", ""}, {"MZxxxxxxxxxxxMZ", "at_"}, {"xMZ", ""}}},
      {R"(rule fo { strings: $a = "ab" $b = "cd" condition: for any of them : ($ at 0) })",
       {{"cdab", "fo"}, {"xab", ""}}},
      {R"(private rule p { strings: $a = "ab" condition: $a }
          rule q { condition: p and filesize < 10 })",
       {{"ab", "q"}, {"x", ""}}},
      {R"(global rule g { condition: filesize < 5 }
          rule k { strings: $a = "ab" condition: $a })",
       {{"ab", "g k"}, {"ab-----", ""}}},
      {R"(rule u { condition: not (uint32(100) == 1) }
          rule v { condition: uint32(100) == 1 or filesize == 2 })",
       {{"ab", "v"}}},
  };
  for (const scan_case& c : cases) {
    yara_build b = build(c.rules);
    ASSERT_TRUE(b.set) << c.rules << ": " << b.err;
    EXPECT_EQ(b.report.skipped, 0)
        << c.rules << ": " << (b.report.skips.empty() ? "" : b.report.skips[0]);
    for (const auto& [data, want] : c.data) {
      EXPECT_EQ(want, scan(*b.set, data)) << c.rules << " on '" << data << "'";
    }
  }
}

// Which hex strings are matched through a plain part of theirs, and which part.
TEST(YaraTest, HexStringsWithWildcardsMatchThroughTheirLongestPlainPart) {
  struct {
    const char* body;
    const char* anchor;  // the literal's bytes; "" when the string is one expression
    uint32_t anchor_end;
  } cases[] = {
      {"4d 5a ?? 41 42 43 44 [0-2] 90", "ABCD", 7},
      {"41 42 ?? 43 44 45 46 47 ?? 48", "CDEFG", 8},
      {"41 42 43 44 45", "", 0},                     // plain: one literal already
      {"41 ?? 42 43 44 ?? 45", "", 0},               // no plain part of 4 bytes
      {"( 01 | 02 03 ) 41 42 43 44", "", 0},         // after a part of varying length
      {"41 42 43 44 [0-150] 45 [0-150] 46", "", 0},  // too many ways to check
  };
  for (const auto& c : cases) {
    yara_string s;
    s.kind = yara_string::type::hex;
    s.body = c.body;
    std::vector<string_variant> v;
    ASSERT_EQ("", string_variants(s, false, &v)) << c.body;
    ASSERT_EQ(1u, v.size()) << c.body;
    std::string anchor;
    if (!v[0].verify.empty()) {
      for (size_t i = 0; i + 3 < v[0].regex.size(); i += 4)
        anchor += char(std::stoi(v[0].regex.substr(i + 2, 2), nullptr, 16));
    }
    EXPECT_EQ(c.anchor, anchor) << c.body;
    EXPECT_EQ(c.anchor_end, v[0].anchor_end) << c.body;
  }
}

TEST(YaraTest, RefusesWhatYaraRefuses) {
  const char* cases[] = {
      "rule a { condition: }",
      "rule a { strings: $a = \"x\" condition: true }",  // unreferenced string
      "rule a { condition: $b }",
      "rule a { condition: b }",
      "rule a { condition: true } rule a { condition: true }",
      "rule a { strings: $a = { 4d [2] } condition: $a }",
      "rule a { strings: $a = \"x\\q\" condition: $a }",
      "rule a { condition: 1 \\ 0 }",
      "rule a { condition: (1 == 1) + 1 }",
      "rule a { strings: $a = \"x\" xor nocase condition: $a }",
      "include \"missing.yar\"",
  };
  for (const char* c : cases) {
    yara_build b = build(c);
    EXPECT_FALSE(b.err.empty()) << c;
    EXPECT_EQ(b.err.compare(0, 6, "t.yar:"), 0) << b.err;
  }
}

TEST(YaraTest, SkipsWhatItCannotReproduce) {
  yara_build b = build(R"(import "pe"
      rule m { condition: pe.is_dll() }
      rule d { condition: m or filesize == 1 }
      rule l { strings: $a = /ab+c/ condition: $a }
      rule ok { condition: filesize == 1 }
      rule b6 { strings: $a = "abc" base64 condition: $a }
      rule loop { condition: for any i in (1..3) : (uint8(i) == 0) })");
  ASSERT_TRUE(b.set) << b.err;
  EXPECT_EQ(b.report.compiled, 1);
  ASSERT_EQ(b.report.skips.size(), 5u);
  EXPECT_EQ(b.report.skips[0], "t.yar:2: rule m skipped: module \"pe\"");
  EXPECT_EQ(b.report.skips[1], "t.yar:3: rule d skipped: depends on skipped rule m");
  EXPECT_EQ(scan(*b.set, "x"), "ok");
}

}  // namespace
}  // namespace qorvex

namespace qorvex {
namespace {

TEST(YaraTest, HostileRulesAreBoundedOrRefused) {
  std::string many = "rule many { strings: ";
  for (int i = 0; i < 3000; ++i)
    many += "$s" + std::to_string(i) + " = \"str" + std::to_string(i) + "x\" ";
  many += "condition: any of them }";
  std::string deep =
      "rule deep { condition: " + std::string(500, '(') + "true" + std::string(500, ')') + " }";
  std::string wide_sum = "rule sum { condition: ";
  for (int i = 0; i < 60; ++i) wide_sum += "(1 + ";
  wide_sum += "1" + std::string(60, ')') + " == 61 }";
  struct {
    std::string rules;
    int compiled;      // -1: the file is refused
    std::string skip;  // the skip reason of the first skipped rule
  } cases[] = {
      {many, 1, ""},
      {deep, -1, ""},
      {wide_sum, 1, ""},
      {"rule j { strings: $a = { 41 42 [0-100000] 43 44 } condition: $a }", 0,
       "$a: a hex jump over 65536 bytes"},
      {"rule j { strings: $a = { 41 42 [0-150] 43 [0-150] 44 [0-150] 45 [0-150] 46 [0-150] 47 "
       "[0-150] 48 [0-150] 49 [0-150] 4a [0-150] 4b [0-150] 4c [0-150] 4d [0-150] 4e [0-150] 4f "
       "[0-150] 50 [0-150] 51 [0-150] 52 [0-150] 53 [0-150] 54 [0-150] 55 [0-150] 56 [0-150] 57 "
       "[0-150] 58 [0-150] 59 [0-150] 5a [0-150] 5b [0-150] 5c [0-150] 5d [0-150] 5e } "
       "condition: $a }",
       0, "$a: a hex string part that can pass 4096 bytes"},
      {"rule r { strings: $a = /(a|aa)*(b|bb)*c{1,30000}/ condition: $a }", 0,
       "$a: a regular expression whose matches can pass 4096 bytes"},
      {"rule r { strings: $a = /x{1,1000000}/ condition: $a }", 0,
       "$a: a repeat interval too large"},
  };
  for (const auto& c : cases) {
    yara_build b = build(c.rules);
    if (c.compiled < 0) {
      EXPECT_FALSE(b.err.empty()) << c.rules.substr(0, 60);
      continue;
    }
    ASSERT_TRUE(b.set) << c.rules.substr(0, 60) << ": " << b.err;
    EXPECT_EQ(c.compiled, b.report.compiled) << c.rules.substr(0, 60);
    if (!c.skip.empty()) {
      ASSERT_FALSE(b.report.skips.empty());
      EXPECT_NE(b.report.skips[0].find("skipped: " + c.skip), std::string::npos)
          << b.report.skips[0];
    }
  }
}

}  // namespace
}  // namespace qorvex
