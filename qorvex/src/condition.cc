#include "qorvex/src/condition.h"

#include <cstring>

namespace qorvex {
namespace {

struct value {
  int64_t v = 0;
  bool defined = true;
};

constexpr value kUndefined{0, false};

// Operand bytes after each opcode.
size_t operand_size(cond_op o) {
  switch (o) {
    case cond_op::push:
      return 8;
    case cond_op::count:
    case cond_op::matched:
    case cond_op::offset:
    case cond_op::length:
    case cond_op::at:
    case cond_op::in:
    case cond_op::count_in:
    case cond_op::rule:
    case cond_op::of:
      return 4;
    case cond_op::read:
      return 1;
    default:
      return 0;
  }
}

// Values taken from and left on the stack.
void stack_effect(cond_op o, int* pops, int* pushes) {
  *pushes = 1;
  switch (o) {
    case cond_op::push:
    case cond_op::filesize:
    case cond_op::count:
    case cond_op::matched:
    case cond_op::rule:
      *pops = 0;
      break;
    case cond_op::offset:
    case cond_op::length:
    case cond_op::at:
    case cond_op::read:
    case cond_op::neg:
    case cond_op::bnot:
    case cond_op::lnot:
      *pops = 1;
      break;
    default:
      *pops = 2;
  }
}

uint64_t operand(const char* p, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t(uint8_t(p[i])) << (8 * i);
  return v;
}

bool valid_form(uint8_t form) {
  return (form & 3) != 3 && (form & ~uint8_t(kReadSigned | kReadBigEndian | 3)) == 0;
}

value read_integer(const condition_input& in, value at, uint8_t form) {
  size_t n = size_t(1) << (form & 3);
  uint8_t b[4];
  if (!at.defined || at.v < 0 || !in.read(uint64_t(at.v), b, n)) return kUndefined;
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t k = (form & kReadBigEndian) ? i : n - 1 - i;
    v = v << 8 | b[k];
  }
  if ((form & kReadSigned) && (v >> (8 * n - 1)) != 0) v |= ~uint64_t(0) << (8 * n - 1);
  return {int64_t(v), true};
}

// The index-th match (1-based, as conditions count) or nothing.
bool nth_match(const condition_input& in, uint32_t pattern, value index, pattern_match* out) {
  if (!index.defined || index.v < 1) return false;
  return in.match(pattern, uint64_t(index.v - 1), out);
}

// Counts the matches of a pattern starting in lo..hi; undefined when some matches were not kept
// and the kept ones do not settle the answer.
value count_between(const condition_input& in, uint32_t pattern, value lo, value hi, bool any) {
  if (!lo.defined || !hi.defined) return {0, true};
  uint64_t total = in.match_count(pattern);
  int64_t found = 0;
  pattern_match m;
  uint64_t i = 0;
  for (; i < total && in.match(pattern, i, &m); ++i) {
    if (int64_t(m.start) > hi.v) return {any ? found > 0 : found, true};
    if (int64_t(m.start) >= lo.v) {
      ++found;
      if (any) return {1, true};
    }
  }
  if (i < total) return kUndefined;
  return {any ? found > 0 : found, true};
}

value arith(cond_op o, value a, value b) {
  if (!a.defined || !b.defined) return kUndefined;
  uint64_t x = uint64_t(a.v), y = uint64_t(b.v);
  switch (o) {
    case cond_op::add:
      return {int64_t(x + y), true};
    case cond_op::sub:
      return {int64_t(x - y), true};
    case cond_op::mul:
      return {int64_t(x * y), true};
    case cond_op::div:
    case cond_op::mod:
      if (b.v == 0 || (a.v == INT64_MIN && b.v == -1)) return kUndefined;
      return {o == cond_op::div ? a.v / b.v : a.v % b.v, true};
    case cond_op::band:
      return {int64_t(x & y), true};
    case cond_op::bor:
      return {int64_t(x | y), true};
    case cond_op::bxor:
      return {int64_t(x ^ y), true};
    case cond_op::shl:
    case cond_op::shr:
      if (b.v < 0) return kUndefined;
      if (b.v >= 64) return {0, true};
      return {o == cond_op::shl ? int64_t(x << b.v) : a.v >> b.v, true};
    case cond_op::eq:
      return {a.v == b.v, true};
    case cond_op::ne:
      return {a.v != b.v, true};
    case cond_op::lt:
      return {a.v < b.v, true};
    case cond_op::le:
      return {a.v <= b.v, true};
    case cond_op::gt:
      return {a.v > b.v, true};
    case cond_op::ge:
      return {a.v >= b.v, true};
    default:
      return kUndefined;
  }
}

bool truth(value a) { return a.defined && a.v != 0; }

}  // namespace

bool check_program(std::string_view program, uint32_t patterns, uint32_t rules, std::string* err) {
  if (program.size() > kMaxProgramSize) return *err = "condition program too long", false;
  size_t depth = 0;
  for (size_t pc = 0; pc < program.size();) {
    uint8_t code = uint8_t(program[pc]);
    if (code < uint8_t(cond_op::push) || code > uint8_t(cond_op::last))
      return *err = "unknown condition instruction", false;
    cond_op o = cond_op(code);
    size_t n = operand_size(o);
    if (program.size() - pc - 1 < n) return *err = "condition instruction cut short", false;
    uint64_t arg = operand(program.data() + pc + 1, n);
    if (o == cond_op::rule && arg >= rules) return *err = "condition names an unknown rule", false;
    if (n == 4 && o != cond_op::rule && o != cond_op::of && arg >= patterns)
      return *err = "condition names an unknown pattern", false;
    if (o == cond_op::read && !valid_form(uint8_t(arg))) return *err = "bad integer read", false;
    int pops = 0, pushes = 0;
    stack_effect(o, &pops, &pushes);
    if (depth < size_t(pops)) return *err = "condition stack underflow", false;
    depth = depth - size_t(pops) + size_t(pushes);
    if (depth > kMaxProgramStack) return *err = "condition too deep", false;
    pc += 1 + n;
  }
  if (depth != 1) return *err = "condition leaves no single result", false;
  return true;
}

bool run_program(std::string_view program, const condition_input& input) {
  value stack[kMaxProgramStack];
  size_t sp = 0;
  for (size_t pc = 0; pc < program.size();) {
    cond_op o = cond_op(uint8_t(program[pc]));
    size_t n = operand_size(o);
    uint64_t arg = operand(program.data() + pc + 1, n);
    uint32_t index = uint32_t(arg);
    pc += 1 + n;
    pattern_match m;
    switch (o) {
      case cond_op::push:
        stack[sp++] = {int64_t(arg), true};
        break;
      case cond_op::filesize:
        stack[sp++] = {int64_t(input.filesize()), true};
        break;
      case cond_op::count:
        stack[sp++] = {int64_t(input.match_count(index)), true};
        break;
      case cond_op::matched:
        stack[sp++] = {input.match_count(index) > 0, true};
        break;
      case cond_op::rule:
        stack[sp++] = {input.rule_holds(index), true};
        break;
      case cond_op::offset:
      case cond_op::length:
        stack[sp - 1] = nth_match(input, index, stack[sp - 1], &m)
                            ? value{int64_t(o == cond_op::offset ? m.start : m.length), true}
                            : kUndefined;
        break;
      case cond_op::at:
        stack[sp - 1] = count_between(input, index, stack[sp - 1], stack[sp - 1], true);
        break;
      case cond_op::in:
      case cond_op::count_in:
        stack[sp - 2] = count_between(input, index, stack[sp - 2], stack[sp - 1], o == cond_op::in);
        --sp;
        break;
      case cond_op::read:
        stack[sp - 1] = read_integer(input, stack[sp - 1], uint8_t(arg));
        break;
      case cond_op::neg:
        stack[sp - 1] = stack[sp - 1].defined ? value{int64_t(0 - uint64_t(stack[sp - 1].v)), true}
                                              : kUndefined;
        break;
      case cond_op::bnot:
        stack[sp - 1] = stack[sp - 1].defined ? value{~stack[sp - 1].v, true} : kUndefined;
        break;
      case cond_op::lnot:
        stack[sp - 1] = stack[sp - 1].defined ? value{stack[sp - 1].v == 0, true} : kUndefined;
        break;
      case cond_op::land:
        stack[sp - 2] = {truth(stack[sp - 2]) && truth(stack[sp - 1]), true};
        --sp;
        break;
      case cond_op::of: {
        value k = stack[sp - 2], q = stack[sp - 1];
        bool holds = !q.defined ? k.v >= int64_t(arg) : q.v == 0 ? k.v == 0 : k.v >= q.v;
        stack[sp - 2] = k.defined ? value{holds, true} : kUndefined;
        --sp;
        break;
      }
      case cond_op::lor: {
        value a = stack[sp - 2], b = stack[sp - 1];
        stack[sp - 2] = !a.defined ? b : !b.defined ? a : value{a.v != 0 || b.v != 0, true};
        --sp;
        break;
      }
      default:
        stack[sp - 2] = arith(o, stack[sp - 2], stack[sp - 1]);
        --sp;
    }
  }
  return sp == 1 && truth(stack[0]);
}

void program_builder::push(int64_t v) {
  op(cond_op::push);
  for (int i = 0; i < 8; ++i) code_.push_back(char(uint64_t(v) >> (8 * i)));
}

void program_builder::with_index(cond_op o, uint32_t index) {
  op(o);
  for (int i = 0; i < 4; ++i) code_.push_back(char(index >> (8 * i)));
}

void program_builder::read(uint8_t form) {
  op(cond_op::read);
  code_.push_back(char(form));
}

}  // namespace qorvex
