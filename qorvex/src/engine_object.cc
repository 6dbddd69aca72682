#include "qorvex/src/engine_object.h"

#include <cstring>

#include "common/little_endian.h"
#include "qorvex/src/engine_version.h"
#include "qorvex/src/system/system_commands.h"

namespace qorvex {
namespace {

// Integers are written with the width the caller's size asks for: 4 or 8 bytes.
int32_t put_integer(uint64_t value, void* buffer, uint64_t size) {
  if (buffer == nullptr || (size != 4 && size != 8)) return QVX_R_INVALID_DATA;
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(value >> (8 * i));
  std::memcpy(buffer, bytes, size_t(size));
  return QVX_R_SUCCESS;
}

// Text is cut to fit and always left zero-terminated.
int32_t put_text(const std::string& text, void* buffer, uint64_t size) {
  if (buffer == nullptr || size == 0) return QVX_R_INVALID_DATA;
  size_t n = std::min<uint64_t>(text.size(), size - 1);
  std::memcpy(buffer, text.data(), n);
  static_cast<char*>(buffer)[n] = '\0';
  return QVX_R_SUCCESS;
}

bool get_integer(const void* buffer, uint64_t size, int64_t* value) {
  if (buffer == nullptr || (size != 4 && size != 8)) return false;
  // A 4-byte value is signed, as the scanner sends -1 for the default heuristics level.
  *value = size == 4 ? int64_t(int32_t(common::le32(buffer))) : int64_t(common::le64(buffer));
  return true;
}

}  // namespace

engine_object::engine_object(std::shared_ptr<const defs_set> defs, qvx_callback callback,
                             void* context)
    : defs_(std::move(defs)), callback_(callback), context_(context) {}

engine_object::~engine_object() = default;

int32_t engine_object::get_counter(int32_t property, uint64_t* value) const {
  // An unlink takes effect at once here, so no deletion ever waits for a restart (46 stays 0).
  const counters& c = counters_;
  const struct {
    int32_t property;
    uint64_t value;
  } table[] = {
      {QVX_P_OBJECTS_PROCESSED, c.objects_processed},
      {QVX_P_OBJECTS_DETECTED, c.objects_detected},
      {QVX_P_OBJECTS_DELETED, c.objects_deleted},
      {QVX_P_OBJECTS_FAILED, c.objects_failed},
      {QVX_P_OBJECTS_CLEANED, c.objects_cleaned},
      {QVX_P_FILES_PROCESSED, c.files_processed},
      {QVX_P_OBJECTS_QUARANTINED, c.objects_quarantined},
      {QVX_P_FILES_DISINFECT_FAILED, c.disinfect_failed},
      {QVX_P_FILES_DELETE_FAILED, c.delete_failed},
      {QVX_P_FILES_PENDING_DELETE, 0},
      {QVX_P_FILES_QUARANTINE_FAILED, c.quarantine_failed},
  };
  for (const auto& row : table) {
    if (row.property == property) {
      *value = row.value;
      return 0;
    }
  }
  return -1;
}

int32_t engine_object::get_property(int32_t property, int32_t index, void* buffer,
                                    uint64_t size) const {
  uint64_t counter = 0;
  if (get_counter(property, &counter) == 0) return put_integer(counter, buffer, size);
  const event_state& ev = event_;
  switch (property) {
    case QVX_P_ENGINE_VERSION:
      return put_integer(kEngineVersion, buffer, size);
    case QVX_P_DEFS_VERSION:
      if (index == QVX_DEFS_SIGNATURES) return put_text(defs_->signatures_id(), buffer, size);
      if (index == QVX_DEFS_COMPANION) return put_text(defs_->companion_id(), buffer, size);
      return QVX_R_NOT_FOUND;
    case QVX_P_NAME_COUNT:
    case QVX_P_MALWARE_COUNT:
      return put_integer(defs_->name_count(), buffer, size);
    case QVX_P_NAME:
      if (index < 0 || size_t(index) >= defs_->name_count()) return QVX_R_NOT_FOUND;
      return put_text(std::string(defs_->name(size_t(index))), buffer, size);
    case QVX_P_ACTION:
      return put_integer(uint32_t(settings_.action), buffer, size);
    case QVX_P_SCAN_FLAGS:
      return put_integer(uint32_t(settings_.flags), buffer, size);
    case QVX_P_EVENT_MASK:
      return put_integer(uint32_t(settings_.event_mask), buffer, size);
    case QVX_P_HEURISTICS:
      return put_integer(uint32_t(settings_.heuristics), buffer, size);
    case QVX_P_ARCHIVE_DEPTH:
      return put_integer(uint32_t(settings_.archive_depth), buffer, size);
    case QVX_P_HIDDEN_KINDS:
      return put_integer(settings_.hidden_kinds, buffer, size);
    case QVX_P_MACRO_MODE:
      return put_integer(uint32_t(settings_.macro_mode), buffer, size);
    case QVX_P_REPORT_TEXT:
      return QVX_R_NOT_FOUND;  // this engine composes no report texts
    default:
      break;
  }
  if (!ev.valid) {
    switch (property) {
      case QVX_P_STATUS:
      case QVX_P_KIND:
      case QVX_P_ACCURACY:
      case QVX_P_MALWARE_NAME:
      case QVX_P_INNER_NAME:
      case QVX_P_OBJECT_NAME:
      case QVX_P_QUALIFIERS:
        return QVX_R_NOT_FOUND;
      default:
        return QVX_R_NOT_SUPPORTED;
    }
  }
  switch (property) {
    case QVX_P_STATUS:
      return put_integer(uint32_t(ev.status), buffer, size);
    case QVX_P_KIND:
      return put_integer(uint32_t(ev.kind), buffer, size);
    case QVX_P_ACCURACY:
      return put_integer(uint32_t(ev.accuracy), buffer, size);
    case QVX_P_QUALIFIERS:
      return put_integer(ev.qualifiers, buffer, size);
    case QVX_P_MALWARE_NAME:
      return put_text(ev.malware_name, buffer, size);
    case QVX_P_INNER_NAME:
      return put_text(ev.inner_name, buffer, size);
    case QVX_P_OBJECT_NAME:
      return put_text(ev.object_name, buffer, size);
    default:
      return QVX_R_NOT_SUPPORTED;
  }
}

namespace {

int32_t add_list_value(std::vector<std::string>* list, const void* buffer, uint64_t size) {
  if (buffer == nullptr || size == 0 || size > kMaxListValueLength) return QVX_R_INVALID_DATA;
  if (list->size() >= kMaxListValues) return QVX_R_INVALID_DATA;
  // The value is `size` bytes and carries no terminating zero; one inside it ends the text.
  std::string value(static_cast<const char*>(buffer), size_t(size));
  value.resize(std::strlen(value.c_str()));
  if (value.empty()) return QVX_R_INVALID_DATA;
  list->push_back(std::move(value));
  return QVX_R_SUCCESS;
}

}  // namespace

int32_t engine_object::set_property(int32_t property, int32_t index, const void* buffer,
                                    uint64_t size) {
  object_settings& s = settings_;
  switch (property) {
    case QVX_P_INCLUDE_EXT:
      return add_list_value(&s.include_ext, buffer, size);
    case QVX_P_EXCLUDE_EXT:
      return add_list_value(&s.exclude_ext, buffer, size);
    case QVX_P_EXCLUDE_FILE:
      return add_list_value(&s.exclude_file, buffer, size);
    case QVX_P_EXCLUDE_FOLDER:
      return add_list_value(&s.exclude_folder, buffer, size);
    default:
      break;
  }
  int64_t v = 0;
  if (!get_integer(buffer, size, &v)) return QVX_R_INVALID_DATA;
  switch (property) {
    case QVX_P_HEURISTICS:
      if (v < QVX_HEUR_DEFAULT || v > QVX_HEUR_HIGH) return QVX_R_INVALID_DATA;
      s.heuristics = int32_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_MACRO_MODE:
      if (v < QVX_MACRO_KEEP || v > QVX_MACRO_REMOVE_VARIANTS) return QVX_R_INVALID_DATA;
      s.macro_mode = int32_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_SCAN_FLAGS:
      s.flags = int32_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_ACTION:
      if (v < QVX_ACTION_NONE || v > QVX_ACTION_QUARANTINE) return QVX_R_INVALID_DATA;
      s.action = int32_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_ARCHIVE_DEPTH:
      if (v < 0 || v > 99) return QVX_R_INVALID_DATA;
      s.archive_depth = int32_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_HIDDEN_KINDS:
      s.hidden_kinds = uint64_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_LIMITS:
      if (index != QVX_LIMIT_MEMBER_BYTES) return QVX_R_NOT_SUPPORTED;
      s.member_limit = uint32_t(v);
      return QVX_R_SUCCESS;
    case QVX_P_EVENT_MASK:
      s.event_mask = int32_t(v);
      return QVX_R_SUCCESS;
    default:
      return QVX_R_NOT_SUPPORTED;
  }
}

int32_t engine_object::run_command(int32_t command, const void* argument, uint64_t first,
                                   uint64_t second) {
  switch (command) {
    case QVX_CMD_SCAN_FILE:
    case QVX_CMD_SCAN_FOLDER: {
      if (argument == nullptr) return QVX_R_INVALID_DATA;
      std::string path(static_cast<const char*>(argument));
      int32_t r = path.empty()                   ? QVX_R_NOT_FOUND
                  : command == QVX_CMD_SCAN_FILE ? scan_file(path)
                                                 : scan_folder(path);
      event_ = event_state();
      // A named target that is not there could not be scanned: a mistyped path must not make the
      // run look clean.
      if (r == QVX_R_NOT_FOUND) ++counters_.objects_failed;
      return r;
    }
    case QVX_CMD_LIST_NAMES:
      raise(QVX_EV_NAMES);
      return QVX_R_SUCCESS;
    case QVX_CMD_SCAN_BOOT_SECTORS:
    case QVX_CMD_SCAN_MBR:
    case QVX_CMD_SCAN_GPT:
    case QVX_CMD_SCAN_MEMORY:
    case QVX_CMD_SCAN_STARTUP: {
      int32_t r = run_system_command(*this, command, argument, first, second);
      event_ = event_state();
      return r;
    }
    default:
      return QVX_R_INVALID_DATA;
  }
}

int32_t engine_object::raise(int32_t event) {
  if ((settings_.event_mask & event) == 0 || callback_ == nullptr) return 0;
  return callback_(handle_, event, context_);
}

}  // namespace qorvex
