#include "scanner/scan/event_callback.h"

#include <sstream>
#include <string>

#include "qorvex.h"
#include "scanner/cmdline/params.h"
#include "scanner/logging/cli_logging.h"
#include "scanner/messages/strings.h"
#include "scanner/queries/malware_list.h"
#include "scanner/scan/detection_actions.h"
#include "scanner/scan/printable_name.h"

namespace ferrox {
namespace {

int32_t read_i32(vse& engine, engine_handle h, int32_t property, int32_t& out) {
  int32_t v = 0;
  const engine_result r = engine.get_property(h, property, 0, &v, sizeof v);
  if (r == 0) out = v;
  return r;
}

void append_accuracy(std::ostringstream& line, int32_t accuracy) {
  if (accuracy >= QVX_ACC_INACCURATE && accuracy <= QVX_ACC_POSSIBLE)
    line << msg(kMsgAccuracyFirst + accuracy);
}

// Bits above this one are not looked at; this one and the unnamed bits below it are reported as
// an unspecified component.
constexpr uint32_t kHighestQualifier = 4096;

void append_qualifiers(std::ostringstream& line, uint32_t bits) {
  for (uint32_t bit = kHighestQualifier; bit != 0; bit >>= 1) {
    if (!(bits & bit)) continue;
    switch (bit) {
      case QVX_Q_REMNANTS:
        line << msg(kMsgQualifierRemnants);
        break;
      case QVX_Q_UNKNOWN_COMPONENT:
        line << msg(kMsgQualifierUnknownComponent);
        break;
      case QVX_Q_DAMAGED:
        line << msg(kMsgQualifierDamaged);
        break;
      case QVX_Q_COMPONENT:
        line << msg(kMsgQualifierComponent);
        break;
      case QVX_Q_DROPPER:
        line << msg(kMsgQualifierDropper);
        break;
      case QVX_Q_INTENDED:
        line << msg(kMsgQualifierIntended);
        break;
      case QVX_Q_SOURCE:
        line << msg(kMsgQualifierSource);
        break;
      default:
        line << bits << " " << msg(kMsgQualifierUnspecified);
        break;
    }
  }
}

// The object's name followed directly by its inner name, when it has one.
bool read_subject(vse& engine, engine_handle h, std::string& subject) {
  std::string name, inner;
  if (engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) != 0) return false;
  if (engine.get_text(h, QVX_P_INNER_NAME, 0, inner) != 0) return false;
  subject = printable_name(name + inner);
  return true;
}

void report_scanning(engine_handle h, vse& engine, bool verbose) {
  if (!verbose) return;
  std::string name, inner;
  if (engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) != 0) return;
  if (engine.get_text(h, QVX_P_INNER_NAME, 0, inner) == 0) name += inner;
  log_line(1, msg(kMsgScanning) + printable_name(name) + "\n");
}

int32_t dispatch(engine_handle h, int32_t event, vse& engine, bool verbose) {
  switch (event) {
    case QVX_EV_OPEN:
    case QVX_EV_CLOSE:
    case QVX_EV_PROGRESS:
    case QVX_EV_DEBUG:
      return 0;
    case QVX_EV_SCANNING:
      report_scanning(h, engine, verbose);
      return 0;
    case QVX_EV_DETECTION:
      return report_detection(h, engine, verbose);
    case QVX_EV_STATUS:
      report_object_status(h, engine, verbose);
      return 0;
    case QVX_EV_NAMES:
      print_malware_names(engine, h);
      return 0;
    case QVX_EV_ACTION:
      report_action(h, engine, verbose);
      return 0;
    default:
      log_line(1,
               std::string(" ").append(msg(kMsgUnknownEvent)) + " " + std::to_string(event) + "\n");
      return 0;
  }
}

// Exceptions must not leave the critical section nor cross back into the engine.
int32_t dispatch_safely(engine_handle h, int32_t event, vse& engine, bool verbose) noexcept {
  try {
    return dispatch(h, event, engine, verbose);
  } catch (...) {
    return 0;
  }
}

}  // namespace

int32_t report_detection(engine_handle h, vse& engine, bool verbose) {
  bool disinfect = false;
  if (!read_flag(kOptDisinfect, disinfect)) {
    log_line(3, msg(kMsgCallbackError));
    return QVX_ANSWER_NONE;
  }
  const int32_t answer = disinfect ? QVX_ANSWER_DISINFECT : QVX_ANSWER_NONE;
  std::string report;
  if (engine.get_text(h, QVX_P_REPORT_TEXT, 0, report) == 0) {
    log_line(3, report + "\n");
    return answer;
  }
  std::ostringstream line;
  line << msg(kMsgFound) << " ";
  std::string name, inner;
  if (engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) == 0) line << printable_name(name);
  if (engine.get_text(h, QVX_P_INNER_NAME, 0, inner) == 0) line << printable_name(inner);
  line << "     ";
  int32_t accuracy = 0, kind = 0;
  if (read_i32(engine, h, QVX_P_ACCURACY, accuracy) != 0) {
    log_line(3, line.str() + msg(kMsgCallbackError));
    return QVX_ANSWER_NONE;
  }
  append_accuracy(line, accuracy);
  uint32_t qualifiers = 0;
  if (engine.get_property(h, QVX_P_QUALIFIERS, 0, &qualifiers, sizeof qualifiers) == 0)
    append_qualifiers(line, qualifiers);
  if (read_i32(engine, h, QVX_P_KIND, kind) != 0) {
    log_line(3, line.str() + msg(kMsgCallbackError));
    return QVX_ANSWER_NONE;
  }
  // A kind the table does not know adds no kind text.
  if (kind >= 0 && kind < QVX_KIND_COUNT) {
    if (kind == QVX_KIND_NONE && !verbose) return QVX_ANSWER_NONE;  // "Nothing": verbose runs only
    line << msg(kMsgKindFirst + kind);
  }
  std::string malware;
  if (engine.get_text(h, QVX_P_MALWARE_NAME, 0, malware) == 0 && !malware.empty())
    line << msg(kMsgMalwareNamed) << malware;
  line << "\n";
  log_line(2, line.str());
  return answer;
}

void report_object_status(engine_handle h, vse& engine, bool verbose) {
  int32_t status = 0;
  std::string subject;
  if (read_i32(engine, h, QVX_P_STATUS, status) != 0 || !read_subject(engine, h, subject)) return;
  // Indexed by status, QVX_ST_CLEAN to QVX_ST_TOO_DEEP.
  static const message_id kVerboseStatus[] = {
      kMsgClean,           kMsgStatusNotScanned,  kMsgStatusDamaged,
      kMsgStatusEncrypted, kMsgStatusUnsupported, kMsgStatusTooDeep};
  if (status == QVX_ST_CLEAN) {
    if (verbose) log_line(1, msg(kMsgClean) + " " + subject + "\n");
  } else if (status >= QVX_ST_NOT_SCANNED && status <= QVX_ST_TOO_DEEP) {
    if (verbose) log_line(1, subject + " " + msg(kVerboseStatus[status]) + "\n");
  } else if (status == QVX_ST_DISINFECTED) {
    log_line(1, msg(kMsgDisinfected) + " " + subject + "\n");
  } else if (status == QVX_ST_DISINFECT_FAILED) {
    log_line(1, subject + " " + msg(kMsgStatusDisinfectFailed) + "\n");
  }
}

int32_t scan_event_callback(engine_handle object, int32_t event, void* context) {
  bool verbose = false, progress = false;
  vse* engine = static_cast<vse*>(context);
  if (g_params == nullptr || !g_params->parsed() || !g_params->get_flag(kOptVerbose, verbose) ||
      !g_params->get_flag(kOptProgressSimple, progress) || engine == nullptr || !engine->loaded() ||
      g_logging == nullptr || !g_logging->ready() || g_strings == nullptr || !g_strings->ready())
    return 0;
  int32_t result = 0;
#pragma omp critical(callback_lock)
  result = dispatch_safely(object, event, *engine, verbose);
  if (progress && !verbose) g_logging->progress_tick();
  return event == QVX_EV_DETECTION ? result : 0;
}

}  // namespace ferrox
