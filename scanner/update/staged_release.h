// The checks a staged release passes before it may replace the installed one.
#ifndef FERROX_SCANNER_UPDATE_STAGED_RELEASE_H_
#define FERROX_SCANNER_UPDATE_STAGED_RELEASE_H_

#include <cstdint>
#include <string>

#include "scanner/engine/vse.h"

namespace ferrox {

// The object type that checks a staged pair: the type of --deftype= when that type reads
// "sigbase-v2.def", else the v2 type, since a release always consists of the v2 pair.
int32_t staged_check_type(const std::string& deftype);

// True when the engine loads the pair in `staging` (an object of `object_type` created on it)
// and both files carry `announced`, the identifier the server announced.
bool staged_pair_loads(vse& engine, int32_t object_type, const std::string& staging,
                       const std::string& announced);

}  // namespace ferrox

#endif  // FERROX_SCANNER_UPDATE_STAGED_RELEASE_H_
