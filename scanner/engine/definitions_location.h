// Where the definition files are looked for.
#ifndef FERROX_SCANNER_ENGINE_DEFINITIONS_LOCATION_H_
#define FERROX_SCANNER_ENGINE_DEFINITIONS_LOCATION_H_

#include <string>

namespace ferrox {

// The system definitions folder that an installed package fills.
extern const char kSystemDefinitionsFolder[];

// The definitions folder: `deflocation` (the --deflocation= text) when it has two characters or
// more (returned unchanged); else the program's folder when it holds "sigbase.def" or
// "sigbase-v2.def"; else the system definitions folder when it holds one of them; else the
// program's folder anyway. "" when the program's path cannot be read. Safe from many threads.
std::string locate_definitions(const std::string& deflocation);

// The same search with the inputs given (for tests): the option text, the program path ("" when
// unknown) and the system folder.
std::string locate_definitions_in(const std::string& deflocation, const std::string& program,
                                  const std::string& system_folder);

}  // namespace ferrox

#endif  // FERROX_SCANNER_ENGINE_DEFINITIONS_LOCATION_H_
