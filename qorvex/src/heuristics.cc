#include "qorvex/src/heuristics.h"

#include <strings.h>

namespace qorvex {

bool disguised_executable(const std::string& name, std::string_view head) {
  static const char* const kHarmlessLooking[] = {
      "txt", "pdf",  "doc", "docx", "xls", "xlsx", "ppt", "pptx", "rtf", "odt", "csv",
      "jpg", "jpeg", "png", "gif",  "bmp", "mp3",  "mp4", "avi",  "mkv", "wav",
  };
  size_t dot = name.find_last_of('.');
  size_t slash = name.find_last_of("/>");
  if (dot == std::string::npos || dot == 0 || (slash != std::string::npos && dot < slash)) {
    return false;
  }
  const char* ext = name.c_str() + dot + 1;
  bool looks_harmless = false;
  for (const char* e : kHarmlessLooking) looks_harmless |= strcasecmp(e, ext) == 0;
  if (!looks_harmless) return false;
  // A PE file's "MZ" header is followed by a small table; two printable bytes of text start
  // with "MZ" too, so ask for the header's usual third byte range as well.
  bool pe = head.size() >= 4 && head[0] == 'M' && head[1] == 'Z' &&
            static_cast<unsigned char>(head[3]) < 0x20;
  bool elf = head.substr(0, 4) == std::string_view(
                                      "\x7f"
                                      "ELF",
                                      4);
  return pe || elf;
}

}  // namespace qorvex
