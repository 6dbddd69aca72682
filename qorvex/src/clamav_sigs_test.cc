#include "qorvex/src/clamav_sigs.h"

#include <gtest/gtest.h>
#include <hs/hs.h>

#include <cstring>
#include <map>

#include "qorvex/src/condition.h"

namespace qorvex {
namespace {

std::string hex(std::string_view text) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// The matches of a compiled signature's patterns in some bytes, found by the matcher itself.
struct matched_object : condition_input {
  std::string bytes;
  std::map<uint32_t, std::vector<pattern_match>> kept;
  std::map<uint32_t, uint64_t> counts;

  matched_object(const rule_set& set, std::string data) : bytes(std::move(data)) {
    for (const rule_pattern& p : set.patterns) {
      hs_database_t* db = nullptr;
      hs_compile_error_t* cerr = nullptr;
      EXPECT_EQ(HS_SUCCESS,
                hs_compile(p.regex.c_str(), p.flags, HS_MODE_BLOCK, nullptr, &db, &cerr))
          << p.regex;
      if (db == nullptr) {
        hs_free_compile_error(cerr);
        continue;
      }
      hs_scratch_t* scratch = nullptr;
      hs_alloc_scratch(db, &scratch);
      std::vector<uint64_t> ends;
      auto on_match = [](unsigned, unsigned long long, unsigned long long to, unsigned, void* ctx) {
        static_cast<std::vector<uint64_t>*>(ctx)->push_back(to);
        return 0;
      };
      hs_scan(db, bytes.data(), unsigned(bytes.size()), 0, scratch, on_match, &ends);
      hs_free_scratch(scratch);
      hs_free_database(db);
      for (uint64_t end : ends) {
        if (!p.positions) {
          counts[p.slot] = 1;
          continue;
        }
        std::vector<pattern_match>& k = kept[p.slot];
        k.push_back({end - p.length, p.length});
        counts[p.slot] = k.size();
      }
    }
  }
  uint64_t filesize() const override { return bytes.size(); }
  uint64_t match_count(uint32_t p) const override {
    auto it = counts.find(p);
    return it == counts.end() ? 0 : it->second;
  }
  bool match(uint32_t p, uint64_t i, pattern_match* out) const override {
    auto it = kept.find(p);
    if (it == kept.end() || i >= it->second.size()) return false;
    *out = it->second[i];
    return true;
  }
  bool read(uint64_t offset, void* out, size_t n) const override {
    if (offset > bytes.size() || bytes.size() - offset < n) return false;
    std::memcpy(out, bytes.data() + offset, n);
    return true;
  }
  bool rule_holds(uint32_t) const override { return false; }
};

// Compiles one signature line and says whether it holds for the bytes.
bool holds(const std::string& line, bool logical, const std::string& data) {
  rule_set set;
  std::string name, skip, err;
  EXPECT_TRUE(compile_clam_signature(line, logical, &set, &name, &skip, &err)) << line << err;
  EXPECT_EQ("", skip) << line;
  if (set.rules.size() != 1) return false;
  EXPECT_TRUE(check_program(set.rules[0].program, set.slots, 1, &err)) << err;
  return run_program(set.rules[0].program, matched_object(set, data));
}

TEST(ClamavSigsTest, BodySignaturesMatchAsTheirOffsetsSay) {
  struct {
    std::string line;
    std::string data;
    bool want;
  } cases[] = {
      {"N:0:*:" + hex("MARK"), "xxMARKxx", true},
      {"N:0:*:" + hex("MARK"), "xxMARxx", false},
      {"N:0:*:" + hex("AB") + "??4?" + hex("CD"),
       "AB\x01\x4f"
       "CD",
       true},
      {"N:0:*:" + hex("AB") + "??4?" + hex("CD"),
       "AB\x01\x5f"
       "CD",
       false},
      {"N:0:*:" + hex("AB") + "??" + "?f" + hex("CD"),
       "AB\x01\x3f"
       "CD",
       true},
      {"N:0:*:" + hex("AB") + "{2}" + hex("CD"), "AB12CD", true},
      {"N:0:*:" + hex("AB") + "{2}" + hex("CD"), "AB1CD", false},
      {"N:0:*:" + hex("AB") + "{-2}" + hex("CD"), "ABCD", true},
      {"N:0:*:" + hex("AB") + "{3-}" + hex("CD"), "AB12CD", false},
      {"N:0:*:" + hex("AB") + "{1-3}" + hex("CD"), "AB123CD", true},
      {"N:0:*:" + hex("AB") + "*" + hex("CD"), "AB" + std::string(5000, '.') + "CD", true},
      {"N:0:*:" + hex("AB") + "(" + hex("x") + "|" + hex("yy") + ")" + hex("CD"), "AByyCD", true},
      {"N:0:*:" + hex("AB") + "(" + hex("x") + "|" + hex("yy") + ")" + hex("CD"), "AByCD", false},
      {"N:0:4:" + hex("MARK"), "1234MARK", true},
      {"N:0:4:" + hex("MARK"), "12345MARK", false},
      {"N:0:4,2:" + hex("MARK"), "123456MARK", true},
      {"N:0:4,2:" + hex("MARK"), "1234567MARK", false},
      {"N:0:EOF-6:" + hex("MARK"), "xxMARK12", true},
      {"N:0:EOF-6:" + hex("MARK"), "xxMARK1", false},
      {"N:0:EOF-6,1:" + hex("MARK"), "xxMARK1", true},
      {"N:0:2:" + hex("AB") + "*" + hex("CD"), "12AB..CD", true},
      {"N:0:2:" + hex("AB") + "*" + hex("CD"), "123AB..CD", false},
      {"N:1:*:" + hex("MARK"), "MZ..MARK", true},
      {"N:1:*:" + hex("MARK"), "ZM..MARK", false},
      {"N:0:*:" + hex("MARK") + ":51:255", "MARK", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, holds(c.line, false, c.data)) << c.line;
}

TEST(ClamavSigsTest, LogicalSignaturesCountAndCombine) {
  const std::string a = hex("AAAA"), b = hex("BBBB");
  struct {
    std::string line;
    std::string data;
    bool want;
  } cases[] = {
      {"L;Target:0;0&1;" + a + ";" + b, "AAAA BBBB", true},
      {"L;Target:0;0&1;" + a + ";" + b, "AAAA", false},
      {"L;Target:0;0|1;" + a + ";" + b, "BBBB", true},
      {"L;Target:0;(0|1)&0;" + a + ";" + b, "BBBB", false},
      {"L;Target:0;0>1;" + a, "AAAAxAAAA", true},
      {"L;Target:0;0>1;" + a, "AAAA", false},
      {"L;Target:0;0=3;" + hex("ABAB"), "ABABABAB", true},  // overlapping matches count
      {"L;Target:0;0&(1<1);" + a + ";" + b, "AAAA", true},
      {"L;Target:0;0&(1<1);" + a + ";" + b, "AAAA BBBB", false},
      {"L;Target:0;(0|1)=2;" + a + ";" + b, "AAAA BBBB", true},
      {"L;Target:0;(0|1)=2;" + a + ";" + b, "AAAA", false},
      {"L;Target:0;0;" + hex("mark") + "::i", "a MaRk b", true},
      {"L;Target:0;0;" + hex("mark") + "::w", std::string("m\0a\0r\0k\0", 8), true},
      {"L;Target:0;0;" + hex("mark") + "::w", "mark", false},
      {"L;Target:0;0;" + hex("mark") + "::wa", "mark", true},
      {"L;Target:0;0;" + hex("mark") + "::f", "mark", true},
      {"L;Target:0;0;" + hex("mark") + "::f", "a mark.", true},
      {"L;Target:0;0;" + hex("mark") + "::f", "amark", false},
      {"L;Target:0;0&1;0:" + a + ";EOF-4:" + b, "AAAA..BBBB", true},
      {"L;Target:0;0&1;0:" + a + ";EOF-4:" + b, "AAAA..BBBB.", false},
      {"L;Engine:51-255,Target:0,FileSize:4-8;0;" + a, "AAAA", true},
      {"L;Engine:51-255,Target:0,FileSize:4-8;0;" + a, "AAAA.....", false},
      {"L;Engine:51-255,Target:1;0;" + a, "MZAAAA", true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.want, holds(c.line, true, c.data)) << c.line;
}

// Well-formed signatures this engine cannot reproduce exactly are skipped, each with a reason,
// and leave the set as it was.
TEST(ClamavSigsTest, SkipsWhatItCannotReproduce) {
  const std::string a = hex("AAAA");
  struct {
    std::string line;
    bool logical;
    std::string reason;
  } cases[] = {
      {"N:0:EP+0:" + a, false, "PE offset forms"},
      {"N:1:S2+4:" + a, false, "PE offset forms"},
      {"N:0:*:" + a + ":255", false, "newer engine levels"},
      {"N:0:*:" + a + ":1:20", false, "older engine levels"},
      {"N:3:*:" + a, false, "target type 3"},
      {"N:0:*:41!(42|43)44", false, "negated alternatives"},
      {"N:0:*:4142[1-2]43", false, "byte ranges"},
      {"N:0:*:(B)4142", false, "boundary markers"},
      {"N:0:*:{2}4142", false, "starts or ends with a gap"},
      {"N:0:*:4142{70000}4344", false, "longer than 65536"},
      {"N:0:EOF-4:41*42", false, "from the end"},
      {"L;Target:0;0;41??42::w", true, "wildcards"},
      {"L;Target:0;0;4?42::i", true, "wildcards"},
      {"L;Target:0;0;4142::wf", true, "wide fullword"},
      {"L;Target:0;0;4:4142::f", true, "fullword sub-signatures at an offset"},
      {"L;Target:0;0>2;41*42", true, "variable-length"},
      {"L;Target:0;(0&1)>2;" + a + ";" + a, true, "& groups"},
      {"L;Target:0;0>2,1;" + a, true, "distinct"},
      {"L;Target:0;0&1|0;" + a + ";" + a, true, "mixed"},
      {"L;Target:0;0&1;" + a + ";0/abc/", true, "sub-signature 1: regular expression"},
      {"L;Engine:51-255,Target:0,Container:CL_TYPE_ZIP;0;" + a, true, "Container"},
      {"L;Engine:250-255,Target:0;0;" + a, true, "newer engine levels"},
      {"L;Engine:51-255,FileSize:1-2;0;" + a, true, "no Target"},
      {"Bad Name;Target:0;0;" + a, true, "name is empty"},
  };
  for (const auto& c : cases) {
    rule_set set;
    std::string name, skip, err;
    EXPECT_TRUE(compile_clam_signature(c.line, c.logical, &set, &name, &skip, &err)) << err;
    EXPECT_NE(std::string::npos, skip.find(c.reason)) << c.line << " -> " << skip;
    EXPECT_TRUE(set.rules.empty() && set.patterns.empty() && set.slots == 0) << c.line;
  }
}

TEST(ClamavSigsTest, RefusesMalformedSignatures) {
  struct {
    std::string line;
    bool logical;
  } cases[] = {
      {"N:0:*", false},
      {"N:0:*:41:1:2:3", false},
      {"N:x:*:4142", false},
      {"N:0:12x:4142", false},
      {"N:0:*:", false},
      {"N:0:*:414", false},
      {"N:0:*:41g2", false},
      {"N:0:*:41{2", false},
      {"N:0:*:41{x}42", false},
      {"N:0:*:41{5-2}42", false},
      {"N:0:*:(41|)42", false},
      {"N:0:*:(4142", false},
      {"N:0:*:4142:x", false},
      {"L;Target:0;0", true},
      {"L;Target:0;1;4142", true},
      {"L;Target:0;(0;4142", true},
      {"L;Target:0;0&;4142", true},
      {"L;Target:x;0;4142", true},
      {"L;Target:0;0;4142::z", true},
      {"L;Target:0;0>;4142", true},
      {"L;Target:0;" + std::string(100, '(') + "0" + std::string(100, ')') + ";4142", true},
  };
  for (const auto& c : cases) {
    rule_set set;
    std::string name, skip, err;
    EXPECT_FALSE(compile_clam_signature(c.line, c.logical, &set, &name, &skip, &err)) << c.line;
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(set.rules.empty());
  }
}

}  // namespace
}  // namespace qorvex
