#include "scanner/logging/printable_name.h"

namespace ferrox {

std::string printable_name(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out;
}

}  // namespace ferrox
