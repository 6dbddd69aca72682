// Object names as they are printed: a name is any bytes, but a line end in it must not forge a
// line of the report.
#ifndef FERROX_SCANNER_LOGGING_PRINTABLE_NAME_H_
#define FERROX_SCANNER_LOGGING_PRINTABLE_NAME_H_

#include <string>
#include <string_view>

namespace ferrox {

// The name with each C0 control character and DEL replaced by '?'; every other byte stays.
std::string printable_name(std::string_view name);

}  // namespace ferrox

#endif  // FERROX_SCANNER_LOGGING_PRINTABLE_NAME_H_
