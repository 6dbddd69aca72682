// The engine's own version, reported by property 1: major << 24 | minor << 16 | build.
#ifndef QORVEX_SRC_ENGINE_VERSION_H_
#define QORVEX_SRC_ENGINE_VERSION_H_

#include <cstdint>

namespace qorvex {

inline constexpr uint32_t kEngineMajor = 1;
inline constexpr uint32_t kEngineMinor = 0;
inline constexpr uint32_t kEngineBuild = 1;
inline constexpr uint32_t kEngineVersion = kEngineMajor << 24 | kEngineMinor << 16 | kEngineBuild;

}  // namespace qorvex

#endif  // QORVEX_SRC_ENGINE_VERSION_H_
