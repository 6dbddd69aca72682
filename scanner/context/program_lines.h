// The one printer of the lines that begin with the program's name: "<program>: <text>", and
// above all "<program>: <label> <result text>" for an engine call that did not succeed.
#ifndef FERROX_SCANNER_CONTEXT_PROGRAM_LINES_H_
#define FERROX_SCANNER_CONTEXT_PROGRAM_LINES_H_

#include <cstdint>
#include <string>

#include "scanner/engine/vse.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/message_table.h"

namespace ferrox {

class program_lines {
 public:
  // Lines go through `out`, or straight to standard error while there is no output object yet.
  program_lines(cli_logging* out, std::string program) : out_(out), program_(std::move(program)) {}

  // "<program>: <text>\n" at `level`.
  void line(int32_t level, const std::string& text) const;
  // "<program>: <label> <result text>\n" at the result's level (see describe_result); returns it.
  int32_t result(const std::string& label, engine_result r) const;
  int32_t result(message_id label, engine_result r) const;
  // "<program>: <internal error text>\n" at level 3.
  void internal_error() const;

 private:
  cli_logging* out_;
  std::string program_;
};

}  // namespace ferrox

#endif  // FERROX_SCANNER_CONTEXT_PROGRAM_LINES_H_
