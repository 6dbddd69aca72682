// Scanning single files and raising the events of scanned objects.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "qorvex/src/engine_object.h"
#include "qorvex/src/folder_walk.h"
#include "qorvex/src/heuristics.h"

namespace qorvex {
namespace {

// The default level is low; a level of 2 (between the scanner's low and medium) counts as it is.
int heuristics_level(int32_t setting) {
  return setting == QVX_HEUR_DEFAULT ? QVX_HEUR_LOW : setting;
}

}  // namespace

int32_t open_error_result(int err) {
  switch (err) {
    case EACCES:
    case EPERM:
      return QVX_R_ACCESS;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return QVX_R_NOT_FOUND;
    case ENOMEM:
      return QVX_R_NO_MEMORY;
    default:
      return QVX_R_FAILED;
  }
}

scan_context& engine_object::own_context() {
  if (!scan_) scan_ = std::make_unique<scan_context>(defs_.get());
  return *scan_;
}

bool engine_object::entry_visible(const defs_entry& e) const {
  if (e.kind < 64 && (settings_.hidden_kinds >> e.kind) & 1) return false;
  return e.heuristics == 0 || heuristics_level(settings_.heuristics) >= e.heuristics;
}

file_scan_options engine_object::scan_options() const {
  file_scan_options o;
  o.xattrs = (settings_.flags & QVX_FLAG_EXTENDED_ATTRIBUTES) != 0;
  o.archives.depth = settings_.archive_depth;
  if (settings_.member_limit != 0) o.archives.member_bytes = settings_.member_limit;
  return o;
}

bool engine_object::report_object(const std::string& name, const std::string& inner,
                                  const raw_result& result, std::vector<size_t>* visible) {
  event_ = event_state();
  event_.valid = true;
  event_.object_name = name;
  event_.inner_name = inner;
  raise(QVX_EV_OPEN);
  raise(QVX_EV_SCANNING);
  if (result.error != 0) {
    ++counters_.objects_failed;
    event_.status = QVX_AC_CANNOT_OPEN;
    raise(QVX_EV_ACTION);
    raise(QVX_EV_CLOSE);
    return false;
  }
  ++counters_.objects_processed;
  bool allowed = result.allowed && (settings_.flags & QVX_FLAG_NO_ALLOW_LIST) == 0;
  bool detected = false;
  auto detection = [&](int kind, int accuracy, uint32_t qualifiers, const std::string& malware) {
    detected = true;
    event_.kind = kind;
    event_.accuracy = accuracy;
    event_.qualifiers = qualifiers;
    event_.malware_name = malware;
    if (raise(QVX_EV_DETECTION) == QVX_ANSWER_DISINFECT) disinfect_asked_ = true;
  };
  if (result.bomb && !((settings_.hidden_kinds >> QVX_KIND_ARCHIVE_BOMB) & 1)) {
    detection(QVX_KIND_ARCHIVE_BOMB, QVX_ACC_HEURISTIC, 0, "");
  }
  const int level = heuristics_level(settings_.heuristics);
  bool hide_disguised = (settings_.hidden_kinds >> QVX_KIND_TROJAN) & 1;
  std::string subject = inner.empty() ? name : inner;
  if (!allowed && level >= kOwnHeuristicsLevel && !hide_disguised && inner.rfind(':', 0) != 0 &&
      disguised_executable(subject, result.head)) {
    detection(QVX_KIND_TROJAN, QVX_ACC_HEURISTIC, 0, kDisguisedName);
  }
  for (size_t i = 0; i < result.entries.size() && !allowed; ++i) {
    defs_entry e;
    if (!defs_->entry(result.entries[i], &e) || !entry_visible(e)) continue;
    detection(e.kind, e.accuracy, e.qualifiers, std::string(defs_->name(e.name)));
    if (visible != nullptr) visible->push_back(i);
  }
  if (detected) {
    ++counters_.objects_detected;
  } else {
    event_.status = QVX_ST_CLEAN;
    raise(QVX_EV_STATUS);
  }
  raise(QVX_EV_CLOSE);
  return detected;
}

void engine_object::report_unreadable(const std::string& name) {
  event_ = event_state();
  event_.valid = true;
  event_.object_name = name;
  event_.status = QVX_AC_CANNOT_OPEN;
  ++counters_.objects_failed;
  raise(QVX_EV_ACTION);
}

void engine_object::report_status(const std::string& name, int32_t status,
                                  const std::string& inner) {
  event_ = event_state();
  event_.valid = true;
  event_.object_name = name;
  event_.inner_name = inner;
  event_.status = status;
  raise(QVX_EV_STATUS);
}

int32_t engine_object::scan_file(const std::string& path) {
  // Look before opening: opening a device or a FIFO can block or have side effects.
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    int err = errno;
    if (err == EACCES || err == EPERM) report_unreadable(path);
    return open_error_result(err);
  }
  if (S_ISDIR(st.st_mode)) return scan_folder(path);
  if (!S_ISREG(st.st_mode)) {
    report_status(path, QVX_ST_UNSUPPORTED);
    return QVX_R_SUCCESS;
  }
  file_handle file;
  file.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file.fd < 0) {
    int err = errno;
    if (err != ENOENT) report_unreadable(path);
    return open_error_result(err);
  }
  // The entry may have been swapped between the look and the open.
  if (fstat(file.fd, &file.st) != 0 || !S_ISREG(file.st.st_mode)) {
    report_status(path, QVX_ST_UNSUPPORTED);
    return QVX_R_SUCCESS;
  }
  // The folder and the name an action would work on; a target named through a link leaves the
  // link there, and an action then finds that entry is not the scanned file.
  size_t slash = path.find_last_of('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  // A path descriptor: an action needs only to look up and unlink in the folder, not to list it.
  int dir_fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) file.dir = std::make_shared<dir_handle>(dir_fd);
  file.name = base;
  file_scan_result scanned;
  scan_open_file(own_context(), file.fd, uint64_t(file.st.st_size), base, scan_options(), &scanned);
  return report_file(path, scanned, &file) ? QVX_R_DETECTED : QVX_R_SUCCESS;
}

}  // namespace qorvex
