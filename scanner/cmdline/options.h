// The command line in typed form, and the one option table behind the parser, the settings
// summary and the help text.
#ifndef FERROX_SCANNER_CMDLINE_OPTIONS_H_
#define FERROX_SCANNER_CMDLINE_OPTIONS_H_

#include <span>
#include <string>
#include <variant>
#include <vector>

#include "scanner/messages/message_table.h"

namespace ferrox {

// Every option of a run, as the command line set it. A value option keeps the text it was given
// (the settings summary shows that text); the code that uses a value reads its number from it.
struct scan_options {
  // Actions
  bool help = false;           // --help, -h, -?
  bool version = false;        // --version, -v
  bool malware_list = false;   // --malwarelist, -L
  bool malware_count = false;  // --malwareno
  bool update = false;         // --update
  // Reporting
  bool verbose = false;          // --verbose, -V, --list
  std::string report;            // --report=, -l
  bool append = false;           // --append
  bool syslog = false;           // --syslog, -s
  bool progress_simple = false;  // --progress-simple
  std::string collect_samples;   // --collect-samples=
  bool show_settings = false;    // --show-settings
  // Targets: the paths of the command line, drive classes and a list file
  std::vector<std::string> paths;
  bool hard = false;       // --hard, -H
  bool cdrom = false;      // --cdrom, -C
  bool removable = false;  // --removable, -R
  bool network = false;    // --network, -N
  bool startup = false;    // --startup, -S
  std::string list_file;   // --file=, -f
  // System areas and the process tools
  bool no_mbr = false;                   // --nombr
  bool no_boot = false;                  // --noboot
  bool no_memory = false;                // --nomem
  bool no_basic_memory = false;          // --nobasicmem
  bool no_advanced_memory = false;       // --noadvancedmem
  bool dump_process_list = false;        // --dumpProcessList
  std::string scan_process;              // --scanProcess=
  std::string dump_process_and_modules;  // --dumpProcessAndModulesMemImage=
  std::string dump_process_only;         // --dumpProcessOnlyMemImage=
  std::string scan_process_heaps;        // --scanProcessHeaps=
  std::string dump_process_heaps;        // --dumpProcessHeaps=
  // Exclusions
  std::vector<std::string> exclude_folders;  // --exclude-folder=
  std::vector<std::string> exclude_files;    // --exclude-file=
  std::vector<std::string> exclude_exts;     // --exclude-ext=
  std::vector<std::string> include_exts;     // --include-ext=
  std::string limit_memory = "0";            // --limit-memory=, megabytes
  // Folder scanning
  bool follow = false;      // --follow, -F
  bool ads = false;         // --ads, -a
  bool no_recurse = false;  // --norecurse, -x
  // Scanning
  bool no_heur = false;       // --noheur
  bool heur_low = false;      // --heur-low
  bool heur_med = false;      // --heur-med
  bool heur_high = false;     // --heur-high, --all, -A
  bool no_archive = false;    // --noarchive
  std::string archive = "5";  // --archive=, the archive depth
  bool pua = false;           // --pua
  bool no_white = false;      // --nowhite
  bool apk_quick = false;     // --apkquick
  bool no_ffc = false;        // --noffc
  // Detection
  bool disinfect = false;                // --disinfect
  bool remove = false;                   // --delete
  bool force_delete = false;             // --force-delete
  bool quarantine = false;               // --quarantine
  std::string move_to;                   // --move=
  std::string copy_to;                   // --copy=
  bool macro_remove_all = false;         // --macro-remove-all
  bool macro_remove_variants = false;    // --macro-remove-variants
  bool macro_remove_all_if_any = false;  // --macro-remove-allifany
  // Definitions
  std::string deftype = "v2";  // --deftype=
  std::string deflocation;     // --deflocation=
};

// The field an option sets, which also says its kind: a flag (bool), a value that the last
// occurrence sets (string), or a list that every occurrence adds to.
using option_field = std::variant<bool scan_options::*, std::string scan_options::*,
                                  std::vector<std::string> scan_options::*>;

struct option_row {
  option_field field;
  std::vector<message_id> names;  // catalogue numbers; the first is the main name
};

// Every option, in the order the parser tries them and the settings summary lists them.
std::span<const option_row> option_table();

}  // namespace ferrox

#endif  // FERROX_SCANNER_CMDLINE_OPTIONS_H_
