// Condition programs: what a rule requires of one scanned object once its single matching pass is
// over, decided from the matches of its patterns, the object's size and its bytes.
//
// A program is a byte string run on a stack of 64-bit signed values, each of which may be
// undefined (a read past the end, a missing match, a division by zero). Instructions are one
// opcode byte, some followed by an operand:
//
//   push      i64   pushes the constant
//   filesize        pushes the object's size
//   count     u32   pushes how many times pattern P matched
//   matched   u32   pushes 1 when pattern P matched at all, else 0
//   offset    u32   pops i; pushes where the i-th match of P starts (1 is the first), undefined
//                   past the last
//   length    u32   pops i; pushes the length of the i-th match of P, undefined past the last
//   at        u32   pops o; pushes 1 when a match of P starts at o (0 when o is undefined)
//   in        u32   pops hi, then lo; pushes 1 when a match of P starts in lo..hi (both included;
//                   0 when either is undefined)
//   count_in  u32   pops hi, then lo; pushes how many matches of P start in lo..hi
//   read      u8    pops o; pushes the integer stored at o (form: read_form bits), undefined when
//                   it lies past the end
//   rule      u32   pushes 1 when rule R (an earlier one of the same set) holds, else 0
//   of        u32   pops q, then k (how many of N items hold); pushes 1 when q is undefined and
//                   k >= N (all), q is 0 and k is 0 (none), or else k >= q
//   add sub mul div mod neg band bor bxor bnot shl shr   integer arithmetic, wrapping
//   eq ne lt le gt ge                                     comparisons: 1 or 0
//   and or not                                            logic on "non-zero and defined"
//
// Undefined values spread through arithmetic, comparisons and `not`; `and` makes an undefined
// side false; `or` ignores an undefined side; a result that ends undefined does not hold. A
// division or remainder by zero, a negative shift and an index below 1 are undefined; shifts by 64
// or more give 0. Operands are little-endian. Patterns and rules are numbered by whoever builds
// the program; the evaluator only asks the input about them.
#ifndef QORVEX_SRC_CONDITION_H_
#define QORVEX_SRC_CONDITION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qorvex {

enum class cond_op : uint8_t {
  push = 1,
  filesize,
  count,
  matched,
  offset,
  length,
  at,
  in,
  count_in,
  read,
  rule,
  add,
  sub,
  mul,
  div,
  mod,
  neg,
  band,
  bor,
  bxor,
  bnot,
  shl,
  shr,
  eq,
  ne,
  lt,
  le,
  gt,
  ge,
  land,
  lor,
  lnot,
  of,
  last = of,
};

// The operand of `read`: size in bytes as a power of two (bits 0-1: 1, 2 or 4 bytes), signed
// (bit 2), big-endian (bit 3).
enum read_form : uint8_t {
  kRead8 = 0,
  kRead16 = 1,
  kRead32 = 2,
  kReadSigned = 4,
  kReadBigEndian = 8,
};

// Limits every program obeys; the loader refuses programs that break them.
inline constexpr size_t kMaxProgramSize = 64 << 10;
inline constexpr size_t kMaxProgramStack = 256;

// One match of a pattern: where it starts and how many bytes it covers.
struct pattern_match {
  uint64_t start = 0;
  uint64_t length = 0;
};

// What a program may ask about the object. Matches of one pattern are kept in ascending start
// order, each start once.
class condition_input {
 public:
  virtual ~condition_input() = default;
  virtual uint64_t filesize() const = 0;
  // The number of matches of a pattern; at most max_matches() of them are kept.
  virtual uint64_t match_count(uint32_t pattern) const = 0;
  // The index-th kept match (0-based); false when it is not kept.
  virtual bool match(uint32_t pattern, uint64_t index, pattern_match* out) const = 0;
  // Copies n bytes of the object from offset; false when they lie (partly) past its end.
  virtual bool read(uint64_t offset, void* out, size_t n) const = 0;
  virtual bool rule_holds(uint32_t rule) const = 0;
};

// Checks a program: known opcodes, complete operands, no stack underflow, at most
// kMaxProgramStack values, exactly one value at the end, patterns below `patterns`, rules below
// `rules`. False with a reason in *err.
bool check_program(std::string_view program, uint32_t patterns, uint32_t rules, std::string* err);

// Runs a checked program: true when its result is defined and not zero.
bool run_program(std::string_view program, const condition_input& input);

// Builds programs; each call appends one instruction.
class program_builder {
 public:
  void op(cond_op o) { code_.push_back(char(o)); }
  void push(int64_t v);
  void with_index(cond_op o, uint32_t index);  // count .. count_in, rule, of
  void read(uint8_t form);
  const std::string& code() const { return code_; }
  std::string take() { return std::move(code_); }

 private:
  std::string code_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_CONDITION_H_
