// Turns parsed definitions sources into the bytes of the two compiled files.
#ifndef QORVEX_SRC_DEFS_WRITER_H_
#define QORVEX_SRC_DEFS_WRITER_H_

#include <string>

#include "qorvex/src/source_parser.h"

namespace qorvex {

struct compiled_defs {
  std::string signatures;  // patterns, hashes, names and the pattern database
  std::string companion;   // the allow-list
};

// Compiles every entry of the set: patterns and hashes go to the signatures file, allow values to
// the companion file, both stamped with id (which must be valid). The pattern database is built
// for the machine it runs on, or with `portable` for any 64-bit x86 processor (slower matching,
// but it loads everywhere: what a published set needs). Fails with a message naming the entry's
// source line.
bool compile_defs(const source_set& set, const std::string& id, compiled_defs* out,
                  std::string* err, bool portable = false);

}  // namespace qorvex

#endif  // QORVEX_SRC_DEFS_WRITER_H_
