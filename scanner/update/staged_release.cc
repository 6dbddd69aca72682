#include "scanner/update/staged_release.h"

#include "qorvex.h"
#include "scanner/scan/scan_driver.h"

namespace ferrox {
namespace {

// The engine reports an identifier of at most 13 characters.
constexpr std::size_t kIdentifierCapacity = 14;

}  // namespace

int32_t staged_check_type(const std::string& deftype) {
  const int32_t type = object_type_for(deftype);
  if (type == QVX_TYPE_V2 || type == QVX_TYPE_ZIP || type == QVX_TYPE_ANDROID) return type;
  return QVX_TYPE_V2;
}

bool staged_pair_loads(vse& engine, int32_t object_type, const std::string& staging,
                       const std::string& announced) {
  engine_handle h = 0;
  // No callback: the object is never asked to scan, so it has no events to tell.
  if (engine.create_object(object_type, staging, nullptr, nullptr, h) != QVX_R_SUCCESS)
    return false;
  bool ok = true;
  for (int32_t index : {0, 1}) {
    std::string identifier;
    ok = ok &&
         engine.get_text(h, QVX_P_DEFS_VERSION, index, identifier, kIdentifierCapacity) ==
             QVX_R_SUCCESS &&
         identifier == announced;
  }
  engine.close_object(h);
  return ok;
}

}  // namespace ferrox
