// Command 8: the places a Linux system starts programs from (systemd units and generators, init
// scripts, rc.local, cron and at tables, XDG autostart entries, shell start-up files,
// ld.so.preload, udev rules, module lists) and the programs they name, scanned as files.
#ifndef QORVEX_SRC_SYSTEM_STARTUP_ITEMS_H_
#define QORVEX_SRC_SYSTEM_STARTUP_ITEMS_H_

#include <cstdint>

#include "qorvex/src/system/system_root.h"

namespace qorvex {

class engine_object;

// Bounds on one walk: startup files, referenced programs, entries listed per folder, bytes of
// one item parsed for references, and home folders visited.
inline constexpr size_t kMaxStartupItems = 65536;
inline constexpr size_t kMaxStartupReferences = 65536;
inline constexpr size_t kMaxFolderEntries = 65536;
inline constexpr size_t kMaxParsedBytes = 1 << 20;
inline constexpr size_t kMaxHomes = 65536;

// Scans every startup item and every existing program it names, each file once (symbolic links
// followed, so the same file under two names counts once). As root every account's home is
// looked at, otherwise only our own. Returns 0 when the walk finished, even with unreadable
// items; -3 when items were found but none could be read for lack of permission.
int32_t scan_startup_items(engine_object& object, const system_root& root);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_STARTUP_ITEMS_H_
