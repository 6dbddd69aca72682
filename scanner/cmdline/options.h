// Option numbers, kinds and the option catalogue.
#ifndef FERROX_SCANNER_CMDLINE_OPTIONS_H_
#define FERROX_SCANNER_CMDLINE_OPTIONS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "scanner/messages/message_table.h"

namespace ferrox {

using option_id = int32_t;
using option_kind = int32_t;

constexpr option_kind kKindNone = 0;
constexpr option_kind kKindFlag = 1;
constexpr option_kind kKindValue = 2;
constexpr option_kind kKindList = 3;

// Option numbers.
enum : option_id {
  kOptHelp = 0,
  kOptVersion = 1,
  kOptMalwareList = 2,
  kOptVerbose = 3,
  kOptReport = 4,
  kOptAppend = 5,
  kOptSyslog = 6,
  kOptHard = 7,
  kOptCdrom = 8,
  kOptRemovable = 9,
  kOptNetwork = 10,
  kOptStartup = 11,
  kOptFile = 12,
  kOptNoMbr = 13,
  kOptNoBoot = 14,
  kOptNoMem = 15,
  kOptNoBasicMem = 16,
  kOptNoAdvancedMem = 17,
  kOptDumpProcessList = 18,
  kOptScanProcess = 19,
  kOptDumpProcessAndModules = 20,
  kOptDumpProcessOnly = 21,
  kOptScanProcessHeaps = 22,
  kOptDumpProcessHeaps = 23,
  kOptExcludeFolder = 24,
  kOptExcludeFile = 25,
  kOptExcludeExt = 26,
  kOptIncludeExt = 27,
  kOptFollow = 28,
  kOptAds = 29,
  kOptNoRecurse = 30,
  kOptHeurHigh = 31,
  kOptNoArchive = 32,
  kOptArchive = 33,
  kOptPua = 34,
  kOptNoHeur = 35,
  kOptDisinfect = 36,
  kOptDelete = 37,
  kOptQuarantine = 38,
  kOptMacroRemoveAll = 39,
  kOptMacroRemoveVariants = 40,
  kOptMacroRemoveAllIfAny = 41,
  kOptMove = 42,
  kOptCopy = 43,
  kOptMalwareNo = 44,
  kOptCollectSamples = 45,
  kOptShowSettings = 46,
  kOptHeurLow = 47,
  kOptHeurMed = 48,
  kOptLimitMemory = 49,
  kOptForceDelete = 50,
  kOptUpdate = 51,
  kOptProgressSimple = 52,
  kOptDefType = 54,
  kOptDefLocation = 55,
  kOptNoWhite = 56,
  kOptApkQuick = 57,
  kOptNoFfc = 58,
};

struct option_def {
  option_id id;
  option_kind kind;
  std::vector<message_id> names;  // the first is the main name
  const char* default_value;      // kind 2 only
};

// Every registered option, in ascending number.
const std::vector<option_def>& option_catalogue();

}  // namespace ferrox

#endif  // FERROX_SCANNER_CMDLINE_OPTIONS_H_
