#include "scanner/scan/detection_actions.h"

#include "qorvex.h"
#include "scanner/messages/strings.h"
#include "scanner/platform/files.h"
#include "scanner/logging/printable_name.h"

namespace ferrox {
namespace {

bool destination(const std::string& file, const std::string& folder, std::string& out) {
  const std::size_t slash = file.rfind('/');
  if (slash == std::string::npos) return false;
  out = folder + file.substr(slash);
  return true;
}

// "Copying <name> to <folder> succeeded." and its move twin.
void transfer(const run_context& ctx, const std::string& name, const std::string& folder,
              message_id verb, message_id to, message_id ok, message_id failed,
              bool (*op)(const std::string&, const std::string&, file_system&)) {
  if (folder.empty()) return;
  const bool done = op(name, folder, default_file_system());
  ctx.log(1, msg(verb) + " " + printable_name(name) + " " + msg(to) + " " + folder + " " +
                 msg(done ? ok : failed) + "\n");
}

}  // namespace

bool copy_to_folder(const std::string& file, const std::string& folder, file_system& fs) {
  std::string to;
  return destination(file, folder, to) && fs.copy_replace(file, to);
}

bool move_to_folder(const std::string& file, const std::string& folder, file_system& fs) {
  std::string to;
  return destination(file, folder, to) && fs.move_noreplace(file, to);
}

void report_action(const run_context& ctx, engine_handle h) {
  int32_t code = 0;
  std::string name;
  if (ctx.engine.get_property(h, QVX_P_STATUS, 0, &code, sizeof code) != 0) return;
  if (ctx.engine.get_text(h, QVX_P_OBJECT_NAME, 0, name) != 0) return;
  message_id line = 0;
  switch (code) {
    case QVX_AC_DELETED:
      line = kMsgDeleted;
      break;
    case QVX_AC_PENDING_DELETE:
      line = kMsgPendingDelete;
      break;
    case QVX_AC_DELETE_FAILED:
      line = kMsgDeleteFailed;
      break;
    case QVX_AC_MAY_HOLD_DATA:
      line = kMsgMayHoldData;
      break;
    case QVX_AC_CANNOT_OPEN:
      line = ctx.options.verbose ? kMsgCannotOpen : 0;
      break;
    case QVX_AC_QUARANTINED:
      line = kMsgQuarantined;
      break;
    case QVX_AC_QUARANTINE_FAILED:
      line = kMsgQuarantineFailed;
      break;
    default:
      break;
  }
  if (line != 0) ctx.log(1, msg(line) + " " + printable_name(name) + "\n");
  if (code != QVX_AC_OF_INTEREST) return;
  transfer(ctx, name, ctx.options.copy_to, kMsgCopying, kMsgCopyingTo, kMsgCopyingSucceeded,
           kMsgCopyingFailed, copy_to_folder);
  transfer(ctx, name, ctx.options.move_to, kMsgMoving, kMsgMovingTo, kMsgMovingSucceeded,
           kMsgMovingFailed, move_to_folder);
}

}  // namespace ferrox
