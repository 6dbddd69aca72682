// The built-in message table: every text the scanner prints, every option name, the help text.
#include "scanner/messages/message_table.h"

namespace ferrox {

namespace {

// The help text (message 1020), line by line.
constexpr char kHelpText[] =
    "Usage: ferrox [options] [path to scan] [options] [path to scan] ...\n"
    "\n"
    "    Parameters are case sensitive.\n"
    "\n"
    "    Help options:\n"
    "\n"
    "        -?,-h,--help            - Show this help\n"
    "        -v,--version            - Shows version information and exit\n"
    "\n"
    "    Other actions:\n"
    "\n"
    "        --deftype=type          - Defaults to sigbase.def\n"
    "                                  v2 for sigbase-v2.def\n"
    "                                  v2s for sigbase-v2s.def\n"
    "        -L,--malwarelist        - List malware detected by scan engine and exit\n"
    "        --malwareno             - Show the number of malware detected by signature\n"
    "        --update                - Updates definition files from the web using credentials in "
    "$HOME/.avupd.ini or /opt/velmora/share/avupd.ini\n"
    "\n"
    "    Reporting options:\n"
    "\n"
    "        -V,--verbose,--list     - Be verbose in reporting\n"
    "        --progress-simple       - Show simple progress indicator\n"
    "        -l,--report=file        - Log to file\n"
    "        --append                - Append to log file if -l or --report= specified\n"
    "        -s,--syslog             - Log to system log (If supported by the OS)\n"
    "        --collect-samples=file  - Create an encrypted zip file with suspicious files to be "
    "submitted to support\n"
    "        --show-settings         - Show settings at the start of the scan\n"
    "\n"
    "    Target options:\n"
    "\n"
    "        -H,--hard               - Scan all hard drives\n"
    "        -C,--cdrom              - Scan all CD-ROM drives\n"
    "        -R,--removable          - Scan all removable drives\n"
    "        -N,--network            - Scan all network drives\n"
    "        -S,--startup            - Scan all startup locations\n"
    "        -f,--file=list          - Scan only files listed in the file\n"
    "\n"
    "    Scanning exlusions:\n"
    "\n"
    "        --nombr                 - Do not scan the Master Boot Record\n"
    "        --noboot                - Do not scan the Boot Sectors\n"
    "        --nomem                 - Do not scan memory\n"
    "        --nobasicmem            - Do not do basic memory scan\n"
    "        --noadvancedmem         - Do not do advanced memory scan\n"
    "        --exclude-folder=folder - Exclude folders with base of folder from scanning. May be "
    "specified multiple times\n"
    "        --exclude-file=file     - Exclude file from scanning. May be specified multiple "
    "times\n"
    "        --exclude-ext=ext       - Exclude extension from scanning. May be specified multiple "
    "times\n"
    "        --include-ext=ext       - Force scanning of the specified extension. May be specified "
    "multiple times\n"
    "        --limit-memory=size     - Limit the size of objects that will be extracted from "
    "archives. Size is in MB\n"
    "\n"
    "    Folder scanning options:\n"
    "\n"
    "        -F,--follow             - Follow symbolic links ( If supported by the OS )\n"
    "        -a,--ads                - Follow Alternate Data Streams ( If supported by the OS )\n"
    "        -x,--norecurse          - Do not recurse into subfolders\n"
    "\n"
    "    Scanning options:\n"
    "\n"
    "        --noheur                - Disable all heuristics\n"
    "        --heur-low              - Low heuristics (Default)\n"
    "        --heur-med,-A,--all     - Medium heuristics\n"
    "        --heur-high             - High heuristics\n"
    "        --noarchive             - Do not scan archive files\n"
    "        --archive=x             - Scan archives to level x.\n"
    "        --pua                   - Report potentially unwanted applications like Spyware and "
    "Adware\n"
    "\n"
    "    Detection options:\n"
    "\n"
    "        --disinfect             - Disinfect malware if found. Files may be deleted instead of "
    "disinfected. \n"
    "        --delete                - Delete files of interest to the scanning engine\n"
    "        --force-delete          - Delete all files of interest to the scanning engine, "
    "whether it is safe or not\n"
    "        --quarantine            - Quarantine files of interest to the quarantine folder\n"
    "        --move=folder           - Move files of interest to the specified folder\n"
    "        --copy=folder           - Copy files of interest to the specified folder\n"
    "\n"
    "    Macro options: (These will be valid if --disinfect is used and macro's are detected)\n"
    "\n"
    "        --macro-remove-all      - Remove any macros that are found\n"
    "        --macro-remove-variants - Remove macros even if a variant of a current virus is "
    "detected\n"
    "        --macro-remove-allifany - Remove all macros in a document if a variant of a current "
    "virus is detected\n";
}  // namespace

const message_row kMessageRows[] = {
    {1, "Velmora Command Line Scanner for"},
    {2, "version"},
    {3, "ferrox is made by the ferrox developers. Free software, without any warranty."},
    {4, "Windows"},
    {5, "Linux"},
    {6, "Solaris"},
    {7, "MacOS X"},
    {8, "FreeBSD"},
    {9, "Unable to parse parameters"},
    {10, "Internal error in the application. Please report it to technical support."},
    {11, "Error initializing logging."},
    {12, "Error loading virtual scan engine."},
    {13, "Success"},
    {14, "Detected"},
    {15, "Feature not supported"},
    {16, "Feature not implemented"},
    {17, "Scanning interrupted"},
    {18, "Failed"},
    {19, "Access error"},
    {20, "Out of memory"},
    {22, "Not found"},
    {23, "Busy"},
    {24, "Input/Output Error"},
    {25, "Invalid data passed to function"},
    {26, "Unable to initialize definition files"},
    {27, "Archive depth invalid. It must be between 0 and 99."},
    {28, "Unable to create sample collection archive."},
    {29, "Reboot required for disinfection"},
    {30,
     "Conflicting heuristic parameters specified: you can only specify one of --noheur, "
     "--heur-low, --heur-med or --heur-high."},
    {100, "Option Summary:\n"},
    {101, "Callback Events:"},
    {102, "Scanning Mode:"},
    {103, "Scanning Action:"},
    {104, "Excluded Folders:"},
    {105, "Excluded Files:"},
    {106, "Excluded Extensions:"},
    {107, "Included Extensions:"},
    {108, "Scan Engine Version:"},
    {110, "Dat File (Sigbase.def) Version:"},
    {111, "Initializing Scan Engine:"},
    {112, "Querying Version Information:"},
    {113, "\nSkipping Memory Scan"},
    {114, "\nSkipping Basic Memory Scan"},
    {115, "\nScanning Memory - Basic Scan:"},
    {116, "\nBasic Memory Scan:"},
    {117, "\nBasic Memory Scan: COMPLETE"},
    {118, "\nSkipping Advanced Memory Scan"},
    {119, "\nScanning Memory - Advanced Scan:"},
    {120, "\nAdvanced Memory Scan:"},
    {121, "\nAdvanced Memory Scan: COMPLETE"},
    {122, "\nSkipping MBR Scanning"},
    {123, "\nScanning MBR"},
    {124, "\nMBR Scan:"},
    {125, "\nSkipping Bootsector Scanning"},
    {126, "\nScanning Bootsector"},
    {127, "\nBootsector Scan:"},
    {128, "\nGPT Scan:"},
    {129, "\nSkipping Startup items"},
    {130, "\nScanning Startup items"},
    {131, "\nStartup items Scan:"},
    {132, "Scanning Path:"},
    {133, "Statistics:\n\n"},
    {134, "Processed:            "},
    {135, "Object(s)"},
    {136, "Detected:             "},
    {137, "Object(s)"},
    {138, "Deleted:              "},
    {139, "Object(s)"},
    {140, "Failed on:            "},
    {141, "Object(s)"},
    {142, "Quarantined:          "},
    {143, "Object(s)"},
    {144, "Cleaned:              "},
    {145, "Object(s)"},
    {146, "Unable to generate malware list."},
    {147,
     "Named Malware for the current definition "
     "files:\n-----------------------------------------------\n"},
    {148, "\n\n"},
    {149, "Unable to get number of malware current engines protects against."},
    {150, "\nThe number of malware the current definition files protect against are: "},
    {151, "\n\n"},
    {152, "Scanning time: "},
    {153, "second(s)"},
    {154, "Dat File (Qorvexcon.def) Version:"},
    {155, "Unable to initialize quarantine."},
    {156, "Processed:            "},
    {157, "File(s)"},
    {158, "Disinfect Failed:     "},
    {159, "File(s)"},
    {160, "Delete Failed:        "},
    {161, "File(s)"},
    {162, "Pending Delete:       "},
    {163, "Files(s)"},
    {164, "\nScan Single Process: "},
    {165, "\nDump Process List: SUCCESS (Result in \"auth_log.txt\" in User \"TEMP\" folder)"},
    {166, "\nDump Process and Modules Memory Image: SUCCESS (Result in User \"TEMP\" folder)"},
    {167, "\nDump Process Only Memory Image: SUCCESS (Result in User \"TEMP\" folder)"},
    {168, "\nScan Process Heaps: "},
    {169, "\nDump Process List: "},
    {170, "\nDump Process and Modules Memory Image: "},
    {171, "\nDump Process Only Memory Image: "},
    {172, "\nDump Process Heaps: SUCCESS (Result in User \"TEMP\" folder)"},
    {173, "\nDump Process Heaps: "},
    {174, "Quarantine Failed:    "},
    {175, "Files(s)"},
    {200, "Encrypted file ( Not scanned )"},
    {201, "Unknown callback code:"},
    {202, "Internal Error in callback."},
    {203, "named "},
    {204, "Scanning: "},
    {206, "is corrupted or damaged"},
    {207, "Not scanned ( Known type )"},
    {208, "Not scanned ( Allowed archive depth exceeded )"},
    {209, "Not scanned ( Unsupported type )"},
    {210, "Unable to disinfect the object"},
    {211, "Clean: "},
    {212, "Found: "},
    {213, "Disinfected: "},
    {214, "Deleted: "},
    {215, "Delete Failed: "},
    {216, "Copying"},
    {217, "to"},
    {218, "succeeded."},
    {219, "failed."},
    {220, "Moving"},
    {221, "to"},
    {222, "succeeded."},
    {223, "failed."},
    {224, "File may contain data, not deleted: "},
    {225, "File added to sample archive: "},
    {226, "Unable to open file (Permissions or Malicious activity): "},
    {227, "Pending Delete: "},
    {228, "Quarantine Failed: "},
    {229, "Quarantined: "},
    {300, "Nothing "},
    {301, "Virus infection "},
    {302, "Adware "},
    {303, "Application "},
    {304, "Backdoor trojan "},
    {305, "Archive bomb "},
    {306, "Bootvirus Infection "},
    {307, "Denial of service application "},
    {308, "Dialer "},
    {309, "Downloader "},
    {310, "Exploit "},
    {311, "Garbage "},
    {312, "Joke application "},
    {313, "Macro's found"},
    {314, "Massmailing worm "},
    {315, "Misdisinfected virus "},
    {316, "Network worm "},
    {317, "Peer-to-Peer Worm "},
    {318, "Remote proxy trojan "},
    {319, "Password stealing trojan "},
    {320, "Remote template "},
    {321, "Security risk "},
    {322, "Spyware "},
    {323, "Tool "},
    {324, "Trojan "},
    {325, "Packer "},
    {326, "Ransomware "},
    {327, "Miner "},
    {328, "Phishing malware "},
    {329, "Hidden process "},
    {330, "Injected code "},
    {350, "Inaccurate detection of "},
    {351, "Exact detection of "},
    {352, "Heuristic detection of "},
    {353, "New or modified variant of "},
    {354, "Possible detection of "},
    {1000, "true"},
    {1001, "false"},
    {1020, kHelpText},
    {1021, "--help"},
    {1022, "-h"},
    {1023, "-?"},
    {1024, "--version"},
    {1025, "-v"},
    {1026, "--malwarelist"},
    {1027, "-L"},
    {1028, "--verbose"},
    {1029, "-V"},
    {1030, "--list"},
    {1031, "--report="},
    {1032, "-l"},
    {1033, "--append"},
    {1034, "--syslog"},
    {1035, "-s"},
    {1036, "--hard"},
    {1037, "-H"},
    {1038, "--cdrom"},
    {1039, "-C"},
    {1040, "--removable"},
    {1041, "-R"},
    {1042, "--network"},
    {1043, "-N"},
    {1044, "--startup"},
    {1045, "-S"},
    {1046, "--file="},
    {1047, "-f"},
    {1048, "--nombr"},
    {1049, "--noboot"},
    {1050, "--nomem"},
    {1051, "--nobasicmem"},
    {1052, "--noadvancedmem"},
    {1053, "--exclude-folder="},
    {1054, "--exclude-file="},
    {1055, "--exclude-ext="},
    {1056, "--include-ext="},
    {1057, "--follow"},
    {1058, "-F"},
    {1059, "--ads"},
    {1060, "-a"},
    {1061, "--norecurse"},
    {1062, "-x"},
    {1064, "--all"},
    {1065, "-A"},
    {1066, "--noarchive"},
    {1067, "--archive="},
    {1068, "--pua"},
    {1069, "--noheur"},
    {1072, "--disinfect"},
    {1073, "--delete"},
    {1074, "--quarantine"},
    {1075, "--macro-remove-all"},
    {1076, "--macro-remove-variants"},
    {1077, "--macro-remove-allifany"},
    {1078, "--move="},
    {1079, "--copy="},
    {1080, "--malwareno"},
    {1081, "--collect-samples="},
    {1082, "--show-settings"},
    {1083, "--heur-med"},
    {1084, "--heur-low"},
    {1085, "--heur-high"},
    {1086, "--limit-memory="},
    {1087, "--force-delete"},
    {1088, "--update"},
    {1089, "--dumpProcessList"},
    {1090, "--dumpProcessAndModulesMemImage="},
    {1091, "--scanProcess="},
    {1092, "--dumpProcessHeaps="},
    {1093, "--scanProcessHeaps="},
    {1094, "--dumpProcessOnlyMemImage="},
    {1095, "--progress-simple"},
    {1097, "--deftype="},
    {1098, "--deflocation="},
    {1099, "--nowhite"},
    {1100, "--apkquick"},
    {1101, "--noffc"},
    {1102, "--nocom"},
    {4000, "component of "},
    {4001, "damaged copy of "},
    {4002, "dropper for "},
    {4003, "generic component of "},
    {4004, "hidden "},
    {4005, "intended "},
    {4006, "remnants of "},
    {4007, "source of "},
    {4008, "unknown component of "},
    {4009, "unspecified component of "},
    {4500, "Updating error: Unable to write sigbase.def or qorvexcon.def"},
    {4501, "Updating error: Username, password error in downloading definition files"},
    {4502, "Updating error: Other error updating"},
    {4503, "Updating error: Badly formated avupd.ini file"},
    {4504, "Updating error: Unable to load curl library"},
    {4505, "Updating error: Unable to find avupd.ini"},
    {4506, "Updated to "},
    {4507, "No update available"},
};

const std::size_t kMessageRowCount = sizeof(kMessageRows) / sizeof(kMessageRows[0]);

}  // namespace ferrox
