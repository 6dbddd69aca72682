// Helpers for the unit tests of the wire code and of the programs built on it.
#ifndef HUBWIRE_TESTING_H_
#define HUBWIRE_TESTING_H_

#include <string>

#include "hubwire/rpc/coding.h"

namespace testing_util {

// Bytes from hex pairs; spaces, line ends and "|" between them are ignored.
rpc::bytes hex(const std::string& text);
// The bytes as spaced hex pairs, for failure messages.
std::string to_hex(const rpc::bytes& b);

// A fresh temporary folder, removed with everything in it at the end.
class scoped_temp_dir {
 public:
  scoped_temp_dir();
  ~scoped_temp_dir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace testing_util

#endif  // HUBWIRE_TESTING_H_
