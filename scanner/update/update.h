// The definitions update of --update.
#ifndef FERROX_SCANNER_UPDATE_UPDATE_H_
#define FERROX_SCANNER_UPDATE_UPDATE_H_

#include <cstdint>
#include <string>

#include "scanner/engine/vse.h"

namespace ferrox {

// Returns the exit code of the update: 0, 231, 232, 233, 234 or 236.
int32_t update_definitions(vse& engine, engine_handle h, const std::string& prefix);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_UPDATE_H_
