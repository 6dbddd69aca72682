// The built-in message table: every text the scanner prints, every option name, the help text.
#include "scanner/messages/message_table.h"

#include "scanner/messages/message_ids.h"

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
    {kMsgTitle, "Velmora Command Line Scanner for"},
    {kMsgVersionWord, "version"},
    {kMsgMadeBy, "ferrox is made by the ferrox developers. Free software, without any warranty."},
    {kMsgSystemWindows, "Windows"},
    {kMsgSystemLinux, "Linux"},
    {kMsgSystemSolaris, "Solaris"},
    {kMsgSystemMacOs, "MacOS X"},
    {kMsgSystemFreeBsd, "FreeBSD"},
    {kMsgCannotParse, "Unable to parse parameters"},
    {kMsgInternalError,
     "Internal error in the application. Please report it to technical support."},
    {kMsgLoggingFailed, "Error initializing logging."},
    {kMsgEngineLoadFailed, "Error loading virtual scan engine."},
    {kMsgResultSuccess, "Success"},
    {kMsgResultDetected, "Detected"},
    {kMsgResultNotSupported, "Feature not supported"},
    {kMsgResultNotImplemented, "Feature not implemented"},
    {kMsgResultInterrupted, "Scanning interrupted"},
    {kMsgResultFailed, "Failed"},
    {kMsgResultAccess, "Access error"},
    {kMsgResultNoMemory, "Out of memory"},
    {kMsgResultNotFound, "Not found"},
    {kMsgResultBusy, "Busy"},
    {kMsgResultIo, "Input/Output Error"},
    {kMsgResultInvalidData, "Invalid data passed to function"},
    {kMsgDefinitionsFailed, "Unable to initialize definition files"},
    {kMsgArchiveDepthInvalid, "Archive depth invalid. It must be between 0 and 99."},
    {kMsgSampleArchiveFailed, "Unable to create sample collection archive."},
    {kMsgResultRebootRequired, "Reboot required for disinfection"},
    {kMsgHeuristicsConflict,
     "Conflicting heuristic parameters specified: you can only specify one of --noheur, "
     "--heur-low, --heur-med or --heur-high."},
    {kMsgOptionSummary, "Option Summary:\n"},
    {kMsgLabelCallbackEvents, "Callback Events:"},
    {kMsgLabelScanningMode, "Scanning Mode:"},
    {kMsgLabelScanningAction, "Scanning Action:"},
    {kMsgLabelExcludedFolders, "Excluded Folders:"},
    {kMsgLabelExcludedFiles, "Excluded Files:"},
    {kMsgLabelExcludedExtensions, "Excluded Extensions:"},
    {kMsgLabelIncludedExtensions, "Included Extensions:"},
    {kMsgEngineVersion, "Scan Engine Version:"},
    {kMsgSignaturesVersion, "Dat File (Sigbase.def) Version:"},
    {kMsgLabelInitializingEngine, "Initializing Scan Engine:"},
    {kMsgLabelQueryingVersion, "Querying Version Information:"},
    {kMsgSkippingMemory, "\nSkipping Memory Scan"},
    {kMsgSkippingBasicMemory, "\nSkipping Basic Memory Scan"},
    {kMsgScanningBasicMemory, "\nScanning Memory - Basic Scan:"},
    {kMsgLabelBasicMemory, "\nBasic Memory Scan:"},
    {kMsgBasicMemoryComplete, "\nBasic Memory Scan: COMPLETE"},
    {kMsgSkippingAdvancedMemory, "\nSkipping Advanced Memory Scan"},
    {kMsgScanningAdvancedMemory, "\nScanning Memory - Advanced Scan:"},
    {kMsgLabelAdvancedMemory, "\nAdvanced Memory Scan:"},
    {kMsgAdvancedMemoryComplete, "\nAdvanced Memory Scan: COMPLETE"},
    {kMsgSkippingMbr, "\nSkipping MBR Scanning"},
    {kMsgScanningMbr, "\nScanning MBR"},
    {kMsgLabelMbr, "\nMBR Scan:"},
    {kMsgSkippingBootSector, "\nSkipping Bootsector Scanning"},
    {kMsgScanningBootSector, "\nScanning Bootsector"},
    {kMsgLabelBootSector, "\nBootsector Scan:"},
    {kMsgLabelGpt, "\nGPT Scan:"},
    {kMsgSkippingStartup, "\nSkipping Startup items"},
    {kMsgScanningStartup, "\nScanning Startup items"},
    {kMsgLabelStartup, "\nStartup items Scan:"},
    {kMsgLabelScanningPath, "Scanning Path:"},
    {kMsgStatistics, "Statistics:\n\n"},
    {kMsgStatObjectsProcessed, "Processed:            "},
    {kMsgStatObjectsProcessedUnit, "Object(s)"},
    {kMsgStatObjectsDetected, "Detected:             "},
    {kMsgStatObjectsDetectedUnit, "Object(s)"},
    {kMsgStatObjectsDeleted, "Deleted:              "},
    {kMsgStatObjectsDeletedUnit, "Object(s)"},
    {kMsgStatObjectsFailed, "Failed on:            "},
    {kMsgStatObjectsFailedUnit, "Object(s)"},
    {kMsgStatObjectsQuarantined, "Quarantined:          "},
    {kMsgStatObjectsQuarantinedUnit, "Object(s)"},
    {kMsgStatObjectsCleaned, "Cleaned:              "},
    {kMsgStatObjectsCleanedUnit, "Object(s)"},
    {kMsgMalwareListFailed, "Unable to generate malware list."},
    {kMsgMalwareListHeader,
     "Named Malware for the current definition "
     "files:\n-----------------------------------------------\n"},
    {kMsgMalwareListEnd, "\n\n"},
    {kMsgMalwareCountFailed, "Unable to get number of malware current engines protects against."},
    {kMsgMalwareCount,
     "\nThe number of malware the current definition files protect against are: "},
    {kMsgMalwareCountEnd, "\n\n"},
    {kMsgScanningTime, "Scanning time: "},
    {kMsgSeconds, "second(s)"},
    {kMsgCompanionVersion, "Dat File (Qorvexcon.def) Version:"},
    {kMsgQuarantineInitFailed, "Unable to initialize quarantine."},
    {kMsgStatFilesProcessed, "Processed:            "},
    {kMsgStatFilesProcessedUnit, "File(s)"},
    {kMsgStatDisinfectFailed, "Disinfect Failed:     "},
    {kMsgStatDisinfectFailedUnit, "File(s)"},
    {kMsgStatDeleteFailed, "Delete Failed:        "},
    {kMsgStatDeleteFailedUnit, "File(s)"},
    {kMsgStatPendingDelete, "Pending Delete:       "},
    {kMsgStatPendingDeleteUnit, "Files(s)"},
    {kMsgLabelScanProcess, "\nScan Single Process: "},
    {kMsgDumpProcessListDone,
     "\nDump Process List: SUCCESS (Result in \"auth_log.txt\" in User \"TEMP\" folder)"},
    {kMsgDumpProcessAndModulesDone,
     "\nDump Process and Modules Memory Image: SUCCESS (Result in User \"TEMP\" folder)"},
    {kMsgDumpProcessOnlyDone,
     "\nDump Process Only Memory Image: SUCCESS (Result in User \"TEMP\" folder)"},
    {kMsgLabelScanProcessHeaps, "\nScan Process Heaps: "},
    {kMsgLabelDumpProcessList, "\nDump Process List: "},
    {kMsgLabelDumpProcessAndModules, "\nDump Process and Modules Memory Image: "},
    {kMsgLabelDumpProcessOnly, "\nDump Process Only Memory Image: "},
    {kMsgDumpProcessHeapsDone, "\nDump Process Heaps: SUCCESS (Result in User \"TEMP\" folder)"},
    {kMsgLabelDumpProcessHeaps, "\nDump Process Heaps: "},
    {kMsgStatQuarantineFailed, "Quarantine Failed:    "},
    {kMsgStatQuarantineFailedUnit, "Files(s)"},
    {kMsgStatusEncrypted, "Encrypted file ( Not scanned )"},
    {kMsgUnknownEvent, "Unknown callback code:"},
    {kMsgCallbackError, "Internal Error in callback."},
    {kMsgMalwareNamed, "named "},
    {kMsgScanning, "Scanning: "},
    {kMsgStatusDamaged, "is corrupted or damaged"},
    {kMsgStatusNotScanned, "Not scanned ( Known type )"},
    {kMsgStatusTooDeep, "Not scanned ( Allowed archive depth exceeded )"},
    {kMsgStatusUnsupported, "Not scanned ( Unsupported type )"},
    {kMsgStatusDisinfectFailed, "Unable to disinfect the object"},
    {kMsgClean, "Clean: "},
    {kMsgFound, "Found: "},
    {kMsgDisinfected, "Disinfected: "},
    {kMsgDeleted, "Deleted: "},
    {kMsgDeleteFailed, "Delete Failed: "},
    {kMsgCopying, "Copying"},
    {kMsgCopyingTo, "to"},
    {kMsgCopyingSucceeded, "succeeded."},
    {kMsgCopyingFailed, "failed."},
    {kMsgMoving, "Moving"},
    {kMsgMovingTo, "to"},
    {kMsgMovingSucceeded, "succeeded."},
    {kMsgMovingFailed, "failed."},
    {kMsgMayHoldData, "File may contain data, not deleted: "},
    {kMsgAddedToSamples, "File added to sample archive: "},
    {kMsgCannotOpen, "Unable to open file (Permissions or Malicious activity): "},
    {kMsgPendingDelete, "Pending Delete: "},
    {kMsgQuarantineFailed, "Quarantine Failed: "},
    {kMsgQuarantined, "Quarantined: "},
    {kMsgKindFirst, "Nothing "},
    {kMsgKindFirst + 1, "Virus infection "},
    {kMsgKindFirst + 2, "Adware "},
    {kMsgKindFirst + 3, "Application "},
    {kMsgKindFirst + 4, "Backdoor trojan "},
    {kMsgKindFirst + 5, "Archive bomb "},
    {kMsgKindFirst + 6, "Bootvirus Infection "},
    {kMsgKindFirst + 7, "Denial of service application "},
    {kMsgKindFirst + 8, "Dialer "},
    {kMsgKindFirst + 9, "Downloader "},
    {kMsgKindFirst + 10, "Exploit "},
    {kMsgKindFirst + 11, "Garbage "},
    {kMsgKindFirst + 12, "Joke application "},
    {kMsgKindFirst + 13, "Macro's found"},
    {kMsgKindFirst + 14, "Massmailing worm "},
    {kMsgKindFirst + 15, "Misdisinfected virus "},
    {kMsgKindFirst + 16, "Network worm "},
    {kMsgKindFirst + 17, "Peer-to-Peer Worm "},
    {kMsgKindFirst + 18, "Remote proxy trojan "},
    {kMsgKindFirst + 19, "Password stealing trojan "},
    {kMsgKindFirst + 20, "Remote template "},
    {kMsgKindFirst + 21, "Security risk "},
    {kMsgKindFirst + 22, "Spyware "},
    {kMsgKindFirst + 23, "Tool "},
    {kMsgKindFirst + 24, "Trojan "},
    {kMsgKindFirst + 25, "Packer "},
    {kMsgKindFirst + 26, "Ransomware "},
    {kMsgKindFirst + 27, "Miner "},
    {kMsgKindFirst + 28, "Phishing malware "},
    {kMsgKindFirst + 29, "Hidden process "},
    {kMsgKindFirst + 30, "Injected code "},
    {kMsgAccuracyFirst, "Inaccurate detection of "},
    {kMsgAccuracyFirst + 1, "Exact detection of "},
    {kMsgAccuracyFirst + 2, "Heuristic detection of "},
    {kMsgAccuracyFirst + 3, "New or modified variant of "},
    {kMsgAccuracyFirst + 4, "Possible detection of "},
    {kMsgTrue, "true"},
    {kMsgFalse, "false"},
    {kMsgHelpText, kHelpText},
    {kMsgNameHelp, "--help"},
    {kMsgNameHelpShort, "-h"},
    {kMsgNameHelpQuestion, "-?"},
    {kMsgNameVersion, "--version"},
    {kMsgNameVersionShort, "-v"},
    {kMsgNameMalwareList, "--malwarelist"},
    {kMsgNameMalwareListShort, "-L"},
    {kMsgNameVerbose, "--verbose"},
    {kMsgNameVerboseShort, "-V"},
    {kMsgNameList, "--list"},
    {kMsgNameReport, "--report="},
    {kMsgNameReportShort, "-l"},
    {kMsgNameAppend, "--append"},
    {kMsgNameSyslog, "--syslog"},
    {kMsgNameSyslogShort, "-s"},
    {kMsgNameHard, "--hard"},
    {kMsgNameHardShort, "-H"},
    {kMsgNameCdrom, "--cdrom"},
    {kMsgNameCdromShort, "-C"},
    {kMsgNameRemovable, "--removable"},
    {kMsgNameRemovableShort, "-R"},
    {kMsgNameNetwork, "--network"},
    {kMsgNameNetworkShort, "-N"},
    {kMsgNameStartup, "--startup"},
    {kMsgNameStartupShort, "-S"},
    {kMsgNameFile, "--file="},
    {kMsgNameFileShort, "-f"},
    {kMsgNameNoMbr, "--nombr"},
    {kMsgNameNoBoot, "--noboot"},
    {kMsgNameNoMem, "--nomem"},
    {kMsgNameNoBasicMem, "--nobasicmem"},
    {kMsgNameNoAdvancedMem, "--noadvancedmem"},
    {kMsgNameExcludeFolder, "--exclude-folder="},
    {kMsgNameExcludeFile, "--exclude-file="},
    {kMsgNameExcludeExt, "--exclude-ext="},
    {kMsgNameIncludeExt, "--include-ext="},
    {kMsgNameFollow, "--follow"},
    {kMsgNameFollowShort, "-F"},
    {kMsgNameAds, "--ads"},
    {kMsgNameAdsShort, "-a"},
    {kMsgNameNoRecurse, "--norecurse"},
    {kMsgNameNoRecurseShort, "-x"},
    {kMsgNameAll, "--all"},
    {kMsgNameAllShort, "-A"},
    {kMsgNameNoArchive, "--noarchive"},
    {kMsgNameArchive, "--archive="},
    {kMsgNamePua, "--pua"},
    {kMsgNameNoHeur, "--noheur"},
    {kMsgNameDisinfect, "--disinfect"},
    {kMsgNameDelete, "--delete"},
    {kMsgNameQuarantine, "--quarantine"},
    {kMsgNameMacroRemoveAll, "--macro-remove-all"},
    {kMsgNameMacroRemoveVariants, "--macro-remove-variants"},
    {kMsgNameMacroRemoveAllIfAny, "--macro-remove-allifany"},
    {kMsgNameMove, "--move="},
    {kMsgNameCopy, "--copy="},
    {kMsgNameMalwareNo, "--malwareno"},
    {kMsgNameCollectSamples, "--collect-samples="},
    {kMsgNameShowSettings, "--show-settings"},
    {kMsgNameHeurMed, "--heur-med"},
    {kMsgNameHeurLow, "--heur-low"},
    {kMsgNameHeurHigh, "--heur-high"},
    {kMsgNameLimitMemory, "--limit-memory="},
    {kMsgNameForceDelete, "--force-delete"},
    {kMsgNameUpdate, "--update"},
    {kMsgNameDumpProcessList, "--dumpProcessList"},
    {kMsgNameDumpProcessAndModules, "--dumpProcessAndModulesMemImage="},
    {kMsgNameScanProcess, "--scanProcess="},
    {kMsgNameDumpProcessHeaps, "--dumpProcessHeaps="},
    {kMsgNameScanProcessHeaps, "--scanProcessHeaps="},
    {kMsgNameDumpProcessOnly, "--dumpProcessOnlyMemImage="},
    {kMsgNameProgressSimple, "--progress-simple"},
    {kMsgNameDefType, "--deftype="},
    {kMsgNameDefLocation, "--deflocation="},
    {kMsgNameNoWhite, "--nowhite"},
    {kMsgNameApkQuick, "--apkquick"},
    {kMsgNameNoFfc, "--noffc"},
    {kMsgNameNoCom, "--nocom"},
    {kMsgQualifierComponent, "component of "},
    {kMsgQualifierDamaged, "damaged copy of "},
    {kMsgQualifierDropper, "dropper for "},
    {kMsgQualifierGenericComponent, "generic component of "},
    {kMsgQualifierHidden, "hidden "},
    {kMsgQualifierIntended, "intended "},
    {kMsgQualifierRemnants, "remnants of "},
    {kMsgQualifierSource, "source of "},
    {kMsgQualifierUnknownComponent, "unknown component of "},
    {kMsgQualifierUnspecified, "unspecified component of "},
    {kMsgUpdateWriteFailed, "Updating error: Unable to write sigbase.def or qorvexcon.def"},
    {kMsgUpdateCredentialsFailed,
     "Updating error: Username, password error in downloading definition files"},
    {kMsgUpdateOtherError, "Updating error: Other error updating"},
    {kMsgUpdateBadSettings, "Updating error: Badly formated avupd.ini file"},
    {kMsgUpdateNoTransfer, "Updating error: Unable to load curl library"},
    {kMsgUpdateNoSettings, "Updating error: Unable to find avupd.ini"},
    {kMsgUpdatedTo, "Updated to "},
    {kMsgNoUpdate, "No update available"},
};

const std::size_t kMessageRowCount = sizeof(kMessageRows) / sizeof(kMessageRows[0]);

}  // namespace ferrox
