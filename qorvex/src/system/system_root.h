// The folder that stands for "/" when the engine looks at the system's own areas: /proc, /sys,
// /dev, /etc, /var/spool, /run and the home folders. Empty means the running system. A prefix
// lets tests (and the inspection of a mounted system image) use a folder laid out like the real
// one; the engine takes it from QORVEX_SYSTEM_ROOT.
#ifndef QORVEX_SRC_SYSTEM_SYSTEM_ROOT_H_
#define QORVEX_SRC_SYSTEM_SYSTEM_ROOT_H_

#include <string>
#include <string_view>

namespace qorvex {

inline constexpr const char* kSystemRootVariable = "QORVEX_SYSTEM_ROOT";

class system_root {
 public:
  system_root() = default;
  // Trailing slashes of the prefix are dropped, so "/" and "" both mean the running system.
  explicit system_root(std::string prefix);
  // The prefix from QORVEX_SYSTEM_ROOT; unset or empty gives the running system.
  static system_root from_environment();

  // Where an absolute system path lies: "/proc/1/maps" becomes prefix + "/proc/1/maps".
  std::string path(std::string_view system_path) const;
  // The system path of a path under the prefix, or the path itself when it lies elsewhere.
  std::string_view strip(std::string_view path) const;
  const std::string& prefix() const { return prefix_; }
  bool is_real() const { return prefix_.empty(); }

 private:
  std::string prefix_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_SYSTEM_ROOT_H_
