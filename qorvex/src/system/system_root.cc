#include "qorvex/src/system/system_root.h"

#include <cstdlib>

namespace qorvex {

system_root::system_root(std::string prefix) : prefix_(std::move(prefix)) {
  while (!prefix_.empty() && prefix_.back() == '/') prefix_.pop_back();
}

system_root system_root::from_environment() {
  const char* value = std::getenv(kSystemRootVariable);
  return system_root(value == nullptr ? std::string() : std::string(value));
}

std::string system_root::path(std::string_view system_path) const {
  std::string out = prefix_;
  out += system_path;
  return out;
}

std::string_view system_root::strip(std::string_view path) const {
  if (prefix_.empty() || path.substr(0, prefix_.size()) != prefix_) return path;
  std::string_view rest = path.substr(prefix_.size());
  return rest.empty() || rest.front() == '/' ? rest : path;
}

}  // namespace qorvex
