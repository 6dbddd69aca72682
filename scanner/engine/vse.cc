#include "scanner/engine/vse.h"

#include <vector>

#include "qorvex.h"
#include "scanner/messages/strings.h"

namespace ferrox {

vse::vse(engine_start start) {
  if (start == engine_start::load) loaded_ = qvx_initialize(nullptr) == QVX_R_SUCCESS;
}

vse::~vse() {
  if (loaded_) qvx_finalize();
}

engine_result vse::create_object(int32_t object_type, const std::string& definitions_dir,
                                 engine_callback callback, void* context, engine_handle& out) {
  if (!loaded_) return QVX_R_NOT_LOADED;
  return qvx_create_object(0, object_type, definitions_dir.c_str(), callback, context, &out);
}

engine_result vse::get_property(engine_handle h, int32_t property, int32_t index, void* buffer,
                                uint64_t size) {
  if (!loaded_) return QVX_R_NOT_LOADED;
  return qvx_get_property(h, property, index, buffer, size);
}

engine_result vse::set_property(engine_handle h, int32_t property, int32_t index,
                                const void* buffer, uint64_t size) {
  if (!loaded_) return QVX_R_NOT_LOADED;
  return qvx_set_property(h, property, index, buffer, size);
}

engine_result vse::run_command(engine_handle h, int32_t command, const void* argument,
                               uint64_t first, uint64_t second) {
  if (!loaded_) return QVX_R_NOT_LOADED;
  return qvx_run_command(h, command, argument, first, second);
}

engine_result vse::close_object(engine_handle h) {
  if (!loaded_) return QVX_R_NOT_LOADED;
  return qvx_close_object(h);
}

engine_result vse::get_text(engine_handle h, int32_t property, int32_t index, std::string& out,
                            std::size_t capacity) {
  std::vector<char> buf(capacity + 1, 0);  // one spare zero: the text always ends
  const engine_result r = get_property(h, property, index, buf.data(), capacity);
  out = r == QVX_R_SUCCESS ? std::string(buf.data()) : std::string();
  return r;
}

int32_t describe_result(engine_result result, std::ostream& out) {
  struct row {
    engine_result code;
    int32_t level;
    message_id text;
  };
  static const row kTable[] = {
      {QVX_R_SUCCESS, 1, kMsgResultSuccess},
      {QVX_R_DETECTED, 2, kMsgResultDetected},
      {QVX_R_INTERNAL, 3, kMsgInternalError},
      {QVX_R_NOT_SUPPORTED, 1, kMsgResultNotSupported},
      {QVX_R_NOT_IMPLEMENTED, 1, kMsgResultNotImplemented},
      {QVX_R_INTERRUPTED, 1, kMsgResultInterrupted},
      {QVX_R_REBOOT_REQUIRED, 1, kMsgResultRebootRequired},
      {QVX_R_FAILED, 3, kMsgResultFailed},
      {QVX_R_INVALID_DATA, 3, kMsgResultInvalidData},
      {QVX_R_ACCESS, 1, kMsgResultAccess},
      {QVX_R_NOT_LOADED, 3, kMsgInternalError},
      {QVX_R_NO_MEMORY, 3, kMsgResultNoMemory},
      {QVX_R_RESERVED_6, 3, kMsgInternalError},
      {QVX_R_RESERVED_10, 3, kMsgInternalError},
      {QVX_R_NOT_FOUND, 1, kMsgResultNotFound},
      {QVX_R_BUSY, 1, kMsgResultBusy},
  };
  for (const row& r : kTable) {
    if (r.code != result) continue;
    out << msg(r.text);
    return r.level;
  }
  out << msg(kMsgInternalError);
  return 3;
}

}  // namespace ferrox
