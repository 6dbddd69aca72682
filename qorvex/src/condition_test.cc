#include "qorvex/src/condition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

namespace qorvex {
namespace {

// An object of given bytes with given matches per pattern; rules hold when listed.
struct fake_input : condition_input {
  std::string bytes;
  std::map<uint32_t, std::vector<pattern_match>> matches;
  std::map<uint32_t, uint64_t> extra;  // matches counted but not kept
  std::vector<uint32_t> holding;

  uint64_t filesize() const override { return bytes.size(); }
  uint64_t match_count(uint32_t p) const override {
    auto it = matches.find(p);
    auto e = extra.find(p);
    return (it == matches.end() ? 0 : it->second.size()) + (e == extra.end() ? 0 : e->second);
  }
  bool match(uint32_t p, uint64_t i, pattern_match* out) const override {
    auto it = matches.find(p);
    if (it == matches.end() || i >= it->second.size()) return false;
    *out = it->second[i];
    return true;
  }
  bool read(uint64_t offset, void* out, size_t n) const override {
    if (offset > bytes.size() || bytes.size() - offset < n) return false;
    std::memcpy(out, bytes.data() + offset, n);
    return true;
  }
  bool rule_holds(uint32_t r) const override {
    for (uint32_t h : holding) {
      if (h == r) return true;
    }
    return false;
  }
};

// A tiny postfix notation for the tests: numbers push, words are opcodes, `op:N` takes an operand.
std::string assemble(const std::string& text) {
  static const std::map<std::string, cond_op> ops = {{"filesize", cond_op::filesize},
                                                     {"count", cond_op::count},
                                                     {"matched", cond_op::matched},
                                                     {"offset", cond_op::offset},
                                                     {"length", cond_op::length},
                                                     {"at", cond_op::at},
                                                     {"in", cond_op::in},
                                                     {"count_in", cond_op::count_in},
                                                     {"rule", cond_op::rule},
                                                     {"+", cond_op::add},
                                                     {"-", cond_op::sub},
                                                     {"*", cond_op::mul},
                                                     {"/", cond_op::div},
                                                     {"%", cond_op::mod},
                                                     {"neg", cond_op::neg},
                                                     {"&", cond_op::band},
                                                     {"|", cond_op::bor},
                                                     {"^", cond_op::bxor},
                                                     {"~", cond_op::bnot},
                                                     {"<<", cond_op::shl},
                                                     {">>", cond_op::shr},
                                                     {"==", cond_op::eq},
                                                     {"!=", cond_op::ne},
                                                     {"<", cond_op::lt},
                                                     {"<=", cond_op::le},
                                                     {">", cond_op::gt},
                                                     {">=", cond_op::ge},
                                                     {"and", cond_op::land},
                                                     {"or", cond_op::lor},
                                                     {"not", cond_op::lnot},
                                                     {"of", cond_op::of}};
  program_builder b;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(' ', pos);
    if (end == std::string::npos) end = text.size();
    std::string word = text.substr(pos, end - pos);
    pos = end + 1;
    size_t colon = word.find(':');
    if (word.compare(0, 4, "read") == 0) {
      b.read(uint8_t(std::stoi(word.substr(colon + 1))));
    } else if (colon != std::string::npos) {
      b.with_index(ops.at(word.substr(0, colon)), uint32_t(std::stoul(word.substr(colon + 1))));
    } else if (ops.count(word)) {
      b.op(ops.at(word));
    } else {
      b.push(std::stoll(word, nullptr, 0));
    }
  }
  return b.take();
}

TEST(ConditionTest, Evaluates) {
  fake_input in;
  in.bytes = std::string("MZ\x90\x00\x08\x00\x00\x00PE\x00\x00", 12);
  in.matches[0] = {{4, 2}, {10, 2}, {30, 2}};
  in.matches[1] = {};
  in.holding = {2};
  struct {
    const char* program;
    bool want;
  } cases[] = {
      {"0 read:1 0x5a4d ==", true},
      {"0 read:9 0x4d5a ==", true},
      {"4 read:2 read:2 0x4550 ==", true},  // uint32(uint32(4)) == "PE\0\0"
      {"2 read:4 -112 ==", true},           // int8
      {"2 read:0 0x90 ==", true},
      {"10 read:2 0 ==", false},           // past the end: undefined
      {"10 read:2 0 == not", false},       // not undefined stays undefined
      {"10 read:2 0 == 1 or", true},       // or ignores an undefined side
      {"10 read:2 0 == 1 and not", true},  // and makes it false
      {"filesize 12 ==", true},
      {"count:0 3 ==", true},
      {"matched:1", false},
      {"matched:0 matched:1 + 1 >=", true},  // any of
      {"1 offset:0 4 ==", true},
      {"3 offset:0 30 ==", true},
      {"4 offset:0 0 >=", false},  // past the last match
      {"0 offset:0 0 >=", false},
      {"2 length:0 2 ==", true},
      {"10 at:0", true},
      {"11 at:0", false},
      {"11 29 in:0", false},
      {"5 30 in:0", true},
      {"0 100 count_in:0 3 ==", true},
      {"rule:2 rule:1 not and", true},
      {"7 neg 2 / -3 ==", true},
      {"7 neg 3 % -1 ==", true},
      {"1 0 /", false},
      {"1 64 << 0 ==", true},
      {"1 1 neg <<", false},
      {"-8 1 >> -4 ==", true},
      {"-8 70 >> 0 ==", true},
      {"0x7fffffffffffffff 1 + 0 <", true},  // wraps
      {"5 ~ -6 ==", true},
      {"1 1 of:2", true},   // any of two, one holds
      {"1 2 of:2", false},  // 2 of two
      {"0 0 of:2", true},   // none
      {"1 0 of:2", false},
      {"2 10 read:2 of:2", true},  // an undefined quantifier means all
      {"1 10 read:2 of:2", false},
      {"0 -1 of:2", true},
      {"10 read:2 at:0 not", true},  // an undefined offset is no match
      {"6 3 & 6 3 | 6 3 ^ + + 14 ==", true},
  };
  for (const auto& c : cases) {
    std::string program = assemble(c.program);
    std::string err;
    ASSERT_TRUE(check_program(program, 2, 3, &err)) << c.program << ": " << err;
    EXPECT_EQ(c.want, run_program(program, in)) << c.program;
  }
}

TEST(ConditionTest, UnkeptMatchesLeaveAnswersUndefined) {
  fake_input in;
  in.matches[0] = {{4, 2}};
  in.extra[0] = 5;
  EXPECT_TRUE(run_program(assemble("count:0 6 =="), in));
  EXPECT_TRUE(run_program(assemble("4 at:0"), in));
  EXPECT_FALSE(run_program(assemble("9 at:0 not"), in));  // cannot tell
  EXPECT_FALSE(run_program(assemble("2 offset:0 0 >="), in));
}

TEST(ConditionTest, RefusesBadPrograms) {
  std::string err;
  const std::string cases[] = {
      "",           // no result
      "1 2",        // two results
      "+",          // underflow
      "count:2",    // unknown pattern
      "rule:3",     // unknown rule (and later ones)
      "0 read:3",   // bad read size
      "0 read:16",  // unknown read bit
  };
  for (const std::string& c : cases) {
    EXPECT_FALSE(check_program(assemble(c), 2, 3, &err)) << c;
  }
  EXPECT_FALSE(check_program(std::string(1, char(0)), 2, 3, &err));
  EXPECT_FALSE(check_program(std::string(1, char(cond_op::last) + 1), 2, 3, &err));
  EXPECT_FALSE(check_program(assemble("1").substr(0, 5), 2, 3, &err));  // operand cut short
  std::string deep;
  for (size_t i = 0; i <= kMaxProgramStack; ++i) deep += "1 ";
  EXPECT_FALSE(check_program(assemble(deep.substr(0, deep.size() - 1)), 2, 3, &err));
}

}  // namespace
}  // namespace qorvex
