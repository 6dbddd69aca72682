// The engine's own heuristics: judgements no signature makes.
#ifndef QORVEX_SRC_HEURISTICS_H_
#define QORVEX_SRC_HEURISTICS_H_

#include <string>
#include <string_view>

namespace qorvex {

// The lowest heuristics level at which the engine's own heuristics run (3: --heur-med).
inline constexpr int kOwnHeuristicsLevel = 3;
inline constexpr int kDisguisedKind = 24;  // reported as a trojan, with accuracy 2 (heuristic)
inline constexpr const char* kDisguisedName = "Heuristic.Disguised-Executable";

// True when an object whose name has a document, picture, sound or video extension (".pdf",
// ".jpg", ".txt" and the like) starts like a program (a Windows "MZ" or an ELF header): the
// content contradicts the name, the way a disguised program does.
bool disguised_executable(const std::string& name, std::string_view head);

}  // namespace qorvex

#endif  // QORVEX_SRC_HEURISTICS_H_
