#include "common/platform/eintr.h"

#include <gtest/gtest.h>
#include <sys/types.h>

#include <vector>

namespace common {
namespace {

// A call scripted as a list of (result, errno) pairs, one per attempt.
struct scripted_call {
  std::vector<std::pair<ssize_t, int>> results;
  size_t calls = 0;
  ssize_t operator()() {
    auto [r, e] = results[calls++];
    errno = e;
    return r;
  }
};

TEST(retry_eintr, repeats_only_interrupted_calls) {
  struct {
    std::vector<std::pair<ssize_t, int>> results;
    ssize_t want;
    int want_errno;
  } cases[] = {
      {{{5, 0}}, 5, 0},
      {{{-1, EINTR}, {-1, EINTR}, {7, 0}}, 7, 0},
      {{{-1, EINTR}, {-1, EIO}}, -1, EIO},
      {{{-1, EAGAIN}}, -1, EAGAIN},
      {{{0, EINTR}}, 0, EINTR},  // a stale errno after a success is no interruption
  };
  for (const auto& c : cases) {
    scripted_call call{c.results};
    EXPECT_EQ(retry_eintr([&] { return call(); }), c.want);
    EXPECT_EQ(errno, c.want_errno);
    EXPECT_EQ(call.calls, c.results.size());
  }
}

}  // namespace
}  // namespace common
