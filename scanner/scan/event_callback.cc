#include "scanner/scan/event_callback.h"

#include <sstream>
#include <string>

#include "qorvex.h"
#include "scanner/messages/strings.h"
#include "scanner/queries/malware_list.h"
#include "scanner/scan/detection_actions.h"
#include "scanner/scan/printable_name.h"

namespace ferrox {
namespace {

struct kind_row {
  message_id text;
  bool verbose_only;
};

// Indexed by the detection kind.
const kind_row kind_table[] = {
    {300, true},  {301, false}, {302, false}, {303, false}, {304, false}, {305, false},
    {306, false}, {307, false}, {308, false}, {309, false}, {310, false}, {311, false},
    {312, false}, {313, false}, {314, false}, {315, false}, {316, false}, {317, false},
    {318, false}, {319, false}, {320, false}, {321, false}, {322, false}, {323, false},
    {324, false}, {325, false}, {326, false}, {327, false}, {328, false}, {329, false},
    {330, false},
};
constexpr int32_t kKinds = sizeof(kind_table) / sizeof(kind_table[0]);

int32_t read_i32(vse& engine, engine_handle h, int32_t property, int32_t& out) {
  int32_t v = 0;
  const engine_result r = engine.get_property(h, property, 0, &v, sizeof v);
  if (r == 0) out = v;
  return r;
}

void append_accuracy(std::ostringstream& line, int32_t accuracy) {
  if (accuracy >= 0 && accuracy <= 4) line << msg(350 + accuracy);
}

void append_qualifiers(std::ostringstream& line, uint32_t bits) {
  for (uint32_t bit = 4096; bit != 0; bit >>= 1) {
    if (!(bits & bit)) continue;
    switch (bit) {
      case 2048:
        line << msg(4006);
        break;
      case 512:
        line << msg(4008);
        break;
      case 256:
        line << msg(4001);
        break;
      case 8:
        line << msg(4000);
        break;
      case 4:
        line << msg(4002);
        break;
      case 2:
        line << msg(4005);
        break;
      case 1:
        line << msg(4007);
        break;
      default:
        line << bits << " " << msg(4009);
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
  std::string name, inner;
  if (ctx.engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) != 0) return;
  if (ctx.engine.get_text(h, QVX_P_INNER_NAME, 0, inner) == 0) name += inner;
  ctx.log(1, msg(204) + printable_name(name) + "\n");
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
      ctx.log(1, std::string(" ").append(msg(201)) + " " + std::to_string(event) + "\n");
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
  const int32_t answer = ctx.options.disinfect ? 1 : 0;
  std::string report;
  if (engine.get_text(h, QVX_P_REPORT_TEXT, 0, report) == 0) {
    ctx.log(3, report + "\n");
    return answer;
  }
  std::ostringstream line;
  line << msg(212) << " ";
  std::string name, inner;
  if (engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) == 0) line << printable_name(name);
  if (engine.get_text(h, QVX_P_INNER_NAME, 0, inner) == 0) line << printable_name(inner);
  line << "     ";
  int32_t accuracy = 0, kind = 0;
  if (read_i32(engine, h, QVX_P_ACCURACY, accuracy) != 0) {
    ctx.log(3, line.str() + msg(202));
    return 0;
  }
  append_accuracy(line, accuracy);
  uint32_t qualifiers = 0;
  if (engine.get_property(h, QVX_P_QUALIFIERS, 0, &qualifiers, sizeof qualifiers) == 0)
    append_qualifiers(line, qualifiers);
  if (read_i32(engine, h, QVX_P_KIND, kind) != 0) {
    ctx.log(3, line.str() + msg(202));
    return 0;
  }
  // A kind the table does not know adds no kind text.
  if (kind >= 0 && kind < kKinds) {
    if (kind_table[kind].verbose_only && !ctx.options.verbose) return 0;
    line << msg(kind_table[kind].text);
  }
  std::string malware;
  if (engine.get_text(h, QVX_P_MALWARE_NAME, 0, malware) == 0 && !malware.empty())
    line << msg(203) << malware;
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
  static const message_id kVerboseStatus[] = {211, 207, 206, 200, 209, 208};
  if (status == 0) {
    if (verbose) ctx.log(1, msg(211) + " " + subject + "\n");
  } else if (status >= 1 && status <= 5) {
    if (verbose) ctx.log(1, subject + " " + msg(kVerboseStatus[status]) + "\n");
  } else if (status == 7) {
    ctx.log(1, msg(213) + " " + subject + "\n");
  } else if (status == 10) {
    ctx.log(1, subject + " " + msg(210) + "\n");
  }
}

int32_t scan_event_callback(engine_handle object, int32_t event, void* context) {
  if (context == nullptr) return 0;
  const run_context& ctx = *static_cast<const run_context*>(context);
  int32_t result = 0;
#pragma omp critical(callback_lock)
  result = dispatch_safely(ctx, object, event);
  if (ctx.options.progress_simple && !ctx.options.verbose) ctx.out.progress_tick();
  return event == QVX_EV_DETECTION ? result : 0;
}

}  // namespace ferrox
