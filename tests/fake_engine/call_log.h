// The fake engine's call log: one line per call, appended under a lock because the scanner calls
// the engine from several threads at once.
#ifndef TESTS_FAKE_ENGINE_CALL_LOG_H_
#define TESTS_FAKE_ENGINE_CALL_LOG_H_

#include <mutex>
#include <string>
#include <string_view>

namespace qvx_fake {

class call_log {
 public:
  // Lines go to `fd` when it is not negative (not owned; each line is one write(), so a crash
  // loses nothing) and, when `keep` is set, to memory for kept().
  call_log(int fd, bool keep);

  // Appends `line` and a line feed. Safe to call from any thread.
  void append(std::string_view line);
  // The lines kept so far.
  std::string kept() const;

 private:
  mutable std::mutex mutex_;
  int fd_;
  bool keep_;
  std::string kept_;
};

// `text` in double quotes with C escapes: \" \\ \n \t, and \xHH for other bytes below 0x20 or
// from 0x7f.
std::string quote(std::string_view text);

}  // namespace qvx_fake

#endif  // TESTS_FAKE_ENGINE_CALL_LOG_H_
