#include "hubwire/testing.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace testing_util {

rpc::bytes hex(const std::string& text) {
  rpc::bytes out;
  int nibble = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      continue;
    }
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<uint8_t>(nibble * 16 + v));
      nibble = -1;
    }
  }
  if (nibble >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

std::string to_hex(const rpc::bytes& b) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    snprintf(buf, sizeof(buf), "%02x", b[i]);
    if (i != 0) out += (i % 16 == 0) ? '\n' : ' ';
    out += buf;
  }
  return out;
}

scoped_temp_dir::scoped_temp_dir() {
  std::string templ = (std::filesystem::temp_directory_path() / "hubwire_test.XXXXXX").string();
  if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
}

scoped_temp_dir::~scoped_temp_dir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace testing_util
