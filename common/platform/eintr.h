// A system call that a signal handler interrupted before it did anything fails with EINTR; calling
// it again is what the caller meant.
#ifndef COMMON_PLATFORM_EINTR_H_
#define COMMON_PLATFORM_EINTR_H_

#include <cerrno>

namespace common {

// `call()` again while it returns -1 with errno EINTR; its last result otherwise.
template <typename Call>
auto retry_eintr(Call call) {
  auto r = call();
  while (r == -1 && errno == EINTR) r = call();
  return r;
}

}  // namespace common

#endif  // COMMON_PLATFORM_EINTR_H_
