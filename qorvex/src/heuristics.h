// The engine's own heuristics: judgements no signature makes.
#ifndef QORVEX_SRC_HEURISTICS_H_
#define QORVEX_SRC_HEURISTICS_H_

#include <string>
#include <string_view>

#include "qorvex/include/qorvex.h"

namespace qorvex {

// The lowest heuristics level at which the engine's own heuristics run (--heur-med). A disguised
// program is reported as a trojan with heuristic accuracy.
inline constexpr int kOwnHeuristicsLevel = QVX_HEUR_MEDIUM;
inline constexpr const char* kDisguisedName = "Heuristic.Disguised-Executable";

// True when an object whose name has a document, picture, sound or video extension (".pdf",
// ".jpg", ".txt" and the like) starts like a program (a Windows "MZ" or an ELF header): the
// content contradicts the name, the way a disguised program does.
bool disguised_executable(const std::string& name, std::string_view head);

}  // namespace qorvex

#endif  // QORVEX_SRC_HEURISTICS_H_
