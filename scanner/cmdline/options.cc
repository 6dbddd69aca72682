#include "scanner/cmdline/options.h"

#include "scanner/messages/message_ids.h"

namespace ferrox {

std::span<const option_row> option_table() {
  using o = scan_options;
  static const option_row table[] = {
      {&o::help, {kMsgNameHelp, kMsgNameHelpShort, kMsgNameHelpQuestion}},
      {&o::version, {kMsgNameVersion, kMsgNameVersionShort}},
      {&o::malware_list, {kMsgNameMalwareList, kMsgNameMalwareListShort}},
      {&o::verbose, {kMsgNameVerbose, kMsgNameVerboseShort, kMsgNameList}},
      {&o::report, {kMsgNameReport, kMsgNameReportShort}},
      {&o::append, {kMsgNameAppend}},
      {&o::syslog, {kMsgNameSyslog, kMsgNameSyslogShort}},
      {&o::hard, {kMsgNameHard, kMsgNameHardShort}},
      {&o::cdrom, {kMsgNameCdrom, kMsgNameCdromShort}},
      {&o::removable, {kMsgNameRemovable, kMsgNameRemovableShort}},
      {&o::network, {kMsgNameNetwork, kMsgNameNetworkShort}},
      {&o::startup, {kMsgNameStartup, kMsgNameStartupShort}},
      {&o::list_file, {kMsgNameFile, kMsgNameFileShort}},
      {&o::no_mbr, {kMsgNameNoMbr}},
      {&o::no_boot, {kMsgNameNoBoot}},
      {&o::no_memory, {kMsgNameNoMem}},
      {&o::no_basic_memory, {kMsgNameNoBasicMem}},
      {&o::no_advanced_memory, {kMsgNameNoAdvancedMem}},
      {&o::dump_process_list, {kMsgNameDumpProcessList}},
      {&o::scan_process, {kMsgNameScanProcess}},
      {&o::dump_process_and_modules, {kMsgNameDumpProcessAndModules}},
      {&o::dump_process_only, {kMsgNameDumpProcessOnly}},
      {&o::scan_process_heaps, {kMsgNameScanProcessHeaps}},
      {&o::dump_process_heaps, {kMsgNameDumpProcessHeaps}},
      {&o::exclude_folders, {kMsgNameExcludeFolder}},
      {&o::exclude_files, {kMsgNameExcludeFile}},
      {&o::exclude_exts, {kMsgNameExcludeExt}},
      {&o::include_exts, {kMsgNameIncludeExt}},
      {&o::follow, {kMsgNameFollow, kMsgNameFollowShort}},
      {&o::ads, {kMsgNameAds, kMsgNameAdsShort}},
      {&o::no_recurse, {kMsgNameNoRecurse, kMsgNameNoRecurseShort}},
      // --all and -A set the high level, although the help text lists them with medium.
      {&o::heur_high, {kMsgNameHeurHigh, kMsgNameAll, kMsgNameAllShort}},
      {&o::no_archive, {kMsgNameNoArchive}},
      {&o::archive, {kMsgNameArchive}},
      {&o::pua, {kMsgNamePua}},
      {&o::no_heur, {kMsgNameNoHeur}},
      {&o::disinfect, {kMsgNameDisinfect}},
      {&o::remove, {kMsgNameDelete}},
      {&o::quarantine, {kMsgNameQuarantine}},
      {&o::macro_remove_all, {kMsgNameMacroRemoveAll}},
      {&o::macro_remove_variants, {kMsgNameMacroRemoveVariants}},
      {&o::macro_remove_all_if_any, {kMsgNameMacroRemoveAllIfAny}},
      {&o::move_to, {kMsgNameMove}},
      {&o::copy_to, {kMsgNameCopy}},
      {&o::malware_count, {kMsgNameMalwareNo}},
      {&o::collect_samples, {kMsgNameCollectSamples}},
      {&o::show_settings, {kMsgNameShowSettings}},
      {&o::heur_low, {kMsgNameHeurLow}},
      {&o::heur_med, {kMsgNameHeurMed}},
      {&o::limit_memory, {kMsgNameLimitMemory}},
      {&o::force_delete, {kMsgNameForceDelete}},
      {&o::update, {kMsgNameUpdate}},
      {&o::progress_simple, {kMsgNameProgressSimple}},
      {&o::deftype, {kMsgNameDefType}},
      {&o::deflocation, {kMsgNameDefLocation}},
      {&o::no_white, {kMsgNameNoWhite}},
      {&o::apk_quick, {kMsgNameApkQuick}},
      {&o::no_ffc, {kMsgNameNoFfc}},
  };
  return table;
}

}  // namespace ferrox
