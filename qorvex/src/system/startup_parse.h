// The program references inside startup items: what a unit, a cron table, an autostart entry,
// ld.so.preload or a udev rule will run. Each parser returns the words that name programs: an
// absolute path, or a bare command name (a word without '/') that the caller looks up.
#ifndef QORVEX_SRC_SYSTEM_STARTUP_PARSE_H_
#define QORVEX_SRC_SYSTEM_STARTUP_PARSE_H_

#include <string>
#include <string_view>
#include <vector>

namespace qorvex {

// References taken from one item are cut at this count.
inline constexpr size_t kMaxReferencesPerItem = 256;

// A command written as shell text: its first word (which may be a bare name) and every other
// word that is an absolute path. Words are split at blanks, quotes and shell operators, so
// "test -x /a || /b" gives "test", "/a" and "/b".
void command_references(std::string_view command, std::vector<std::string>* out);

// Exec*= lines of a systemd unit or drop-in (ExecStart, ExecStartPre, ExecStartPost,
// ExecCondition, ExecReload, ExecStop, ExecStopPost), prefixes "@-:+!" dropped, lines joined
// across a trailing backslash.
std::vector<std::string> unit_references(std::string_view text);

// Commands of a cron table: after five time fields or an "@" schedule, and after the user field
// when the table has one (/etc/crontab, /etc/cron.d). Variable assignments are skipped.
std::vector<std::string> cron_references(std::string_view text, bool with_user);

// Commands of /etc/anacrontab: after the period, delay and job name fields.
std::vector<std::string> anacron_references(std::string_view text);

// Exec= and TryExec= of a desktop entry; field codes such as %f and %u are no programs.
std::vector<std::string> desktop_references(std::string_view text);

// Every library path of ld.so.preload, separated by blanks, colons or line ends.
std::vector<std::string> preload_references(std::string_view text);

// RUN+=, RUN{program}+=, PROGRAM= and IMPORT{program}= of udev rules. A program without '/'
// lives in /usr/lib/udev/, so it is returned as that path.
std::vector<std::string> udev_references(std::string_view text);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_STARTUP_PARSE_H_
