#include "scanner/scan/event_callback.h"

#include <sstream>
#include <string>

#include "qorvex.h"
#include "scanner/messages/strings.h"
#include "scanner/queries/malware_list.h"
#include "scanner/scan/detection_actions.h"
#include "scanner/logging/printable_name.h"

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

void report_scanning(const run_context& ctx, engine_handle h) {
  if (!ctx.options.verbose) return;
  vse& engine = ctx.engine;
  std::string name, inner;
  if (engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) != 0) return;
  if (engine.get_text(h, QVX_P_INNER_NAME, 0, inner) == 0) name += inner;
  ctx.log(1, msg(kMsgScanning) + printable_name(name) + "\n");
}

int32_t dispatch(const run_context& ctx, engine_handle h, int32_t event) {
  switch (event) {
    case QVX_EV_OPEN:
    case QVX_EV_CLOSE:
    case QVX_EV_PROGRESS:
    case QVX_EV_DEBUG:
      return 0;
    case QVX_EV_SCANNING:
      report_scanning(ctx, h);
      return 0;
    case QVX_EV_DETECTION:
      return report_detection(ctx, h);
    case QVX_EV_STATUS:
      report_object_status(ctx, h);
      return 0;
    case QVX_EV_NAMES:
      print_malware_names(ctx, h);
      return 0;
    case QVX_EV_ACTION:
      report_action(ctx, h);
      return 0;
    default:
      ctx.log(1,
              std::string(" ").append(msg(kMsgUnknownEvent)) + " " + std::to_string(event) + "\n");
      return 0;
  }
}

// Exceptions must not leave the critical section nor cross back into the engine.
int32_t dispatch_safely(const run_context& ctx, engine_handle h, int32_t event) noexcept {
  try {
    return dispatch(ctx, h, event);
  } catch (...) {
    return 0;
  }
}

}  // namespace

int32_t report_detection(const run_context& ctx, engine_handle h) {
  vse& engine = ctx.engine;
  const bool verbose = ctx.options.verbose;
  const int32_t answer = ctx.options.disinfect ? QVX_ANSWER_DISINFECT : QVX_ANSWER_NONE;
  std::string report;
  if (engine.get_text(h, QVX_P_REPORT_TEXT, 0, report) == 0) {
    ctx.log(3, report + "\n");
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
    ctx.log(3, line.str() + msg(kMsgCallbackError));
    return QVX_ANSWER_NONE;
  }
  append_accuracy(line, accuracy);
  uint32_t qualifiers = 0;
  if (engine.get_property(h, QVX_P_QUALIFIERS, 0, &qualifiers, sizeof qualifiers) == 0)
    append_qualifiers(line, qualifiers);
  if (read_i32(engine, h, QVX_P_KIND, kind) != 0) {
    ctx.log(3, line.str() + msg(kMsgCallbackError));
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
  ctx.log(2, line.str());
  return answer;
}

void report_object_status(const run_context& ctx, engine_handle h) {
  vse& engine = ctx.engine;
  const bool verbose = ctx.options.verbose;
  int32_t status = 0;
  std::string subject;
  if (read_i32(engine, h, QVX_P_STATUS, status) != 0 || !read_subject(engine, h, subject)) return;
  // Indexed by status, QVX_ST_CLEAN to QVX_ST_TOO_DEEP.
  static const message_id kVerboseStatus[] = {
      kMsgClean,           kMsgStatusNotScanned,  kMsgStatusDamaged,
      kMsgStatusEncrypted, kMsgStatusUnsupported, kMsgStatusTooDeep};
  if (status == QVX_ST_CLEAN) {
    if (verbose) ctx.log(1, msg(kMsgClean) + " " + subject + "\n");
  } else if (status >= QVX_ST_NOT_SCANNED && status <= QVX_ST_TOO_DEEP) {
    if (verbose) ctx.log(1, subject + " " + msg(kVerboseStatus[status]) + "\n");
  } else if (status == QVX_ST_DISINFECTED) {
    ctx.log(1, msg(kMsgDisinfected) + " " + subject + "\n");
  } else if (status == QVX_ST_DISINFECT_FAILED) {
    ctx.log(1, subject + " " + msg(kMsgStatusDisinfectFailed) + "\n");
  }
}

int32_t scan_event_callback(engine_handle object, int32_t event, void* context) {
  if (context == nullptr) return QVX_ANSWER_NONE;
  const run_context& ctx = *static_cast<const run_context*>(context);
  int32_t result = QVX_ANSWER_NONE;
#pragma omp critical(callback_lock)
  result = dispatch_safely(ctx, object, event);
  if (ctx.options.progress_simple && !ctx.options.verbose) ctx.out.progress_tick();
  return event == QVX_EV_DETECTION ? result : QVX_ANSWER_NONE;
}

}  // namespace ferrox
