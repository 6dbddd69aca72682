// A stand-alone `publish` for the update's end-to-end tests, until qvxdef carries the command:
// `qvxdef_publish_tool publish --out=DIR DEFS_DIR` behaves as `qvxdef publish` will.
#include <cstdio>
#include <cstring>

#include "qorvex/tools/qvxdef_publish.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "publish") == 0) return qvxdef_publish(argc - 1, argv + 1);
  std::fprintf(stderr, "usage: qvxdef_publish_tool publish --out=DIR DEFS_DIR\n");
  return 2;
}
