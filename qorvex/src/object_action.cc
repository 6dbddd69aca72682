// The events of a scanned file as a whole, and the action of property 4 on it.
#include <cerrno>

#include "qorvex/src/engine_object.h"

namespace qorvex {

void engine_object::report_action(const std::string& name, int32_t code) {
  event_ = event_state();
  event_.valid = true;
  event_.object_name = name;
  event_.status = code;
  raise(QVX_EV_ACTION);
}

bool engine_object::report_file(const std::string& path, const file_scan_result& result,
                                const file_handle* file) {
  if (result.content.error == 0) ++counters_.files_processed;
  disinfect_asked_ = false;
  std::vector<size_t> visible;
  bool whole = report_object(path, "", result.content, &visible);
  uint64_t detected = whole ? 1 : 0;
  std::string names;
  // A repair is possible when every detection is in the file's own content and each carries
  // one; what a detection in a member or an attribute needs is not known here.
  std::vector<repair_span> repairs;
  bool repairable = whole && !result.content.bomb;
  for (size_t i : visible) {
    defs_entry e;
    defs_->entry(result.content.entries[i], &e);  // a hit's entry was checked when it was found
    if (!names.empty()) names += ',';
    names += defs_->name(e.name);
    uint64_t end = result.content.ends[i];
    uint64_t length = 0;
    for (const defs_pattern& p : defs_->patterns()) {
      if (p.entry == result.content.entries[i]) length = p.length;
    }
    if (e.repair == repair_type::none || length == 0 || end < length)
      repairable = false;
    else
      repairs.push_back({e.repair, end - length, end});
  }
  for (const object_result& o : result.others) {
    if (o.status >= 0) {
      report_status(path, o.status, o.inner);
    } else if (report_object(path, o.inner, o.result)) {
      ++detected;
      repairable = false;
    }
  }
  if (detected == 0) return false;
  report_action(path, QVX_AC_OF_INTEREST);
  if (names.empty()) names.assign(1, '-');  // only members or attributes were detected
  apply_action(path, file, detected, whole, repairable ? &repairs : nullptr, names);
  return true;
}

void engine_object::apply_action(const std::string& path, const file_handle* file,
                                 uint64_t detected, bool whole,
                                 const std::vector<repair_span>* repairs,
                                 const std::string& names) {
  switch (settings_.action) {
    case QVX_ACTION_DELETE:  // delete: not a file where the detection is only a part of what it
                             // holds
      if (!whole) return report_action(path, QVX_AC_MAY_HOLD_DATA);
      [[fallthrough]];
    case QVX_ACTION_FORCE_DELETE:
      if (file != nullptr && delete_file(*file) == 0) {
        counters_.objects_deleted += detected;
        return report_action(path, QVX_AC_DELETED);
      }
      ++counters_.delete_failed;
      return report_action(path, QVX_AC_DELETE_FAILED);
    case QVX_ACTION_QUARANTINE: {
      std::string item;
      if (file != nullptr && quarantine_file(*file, path, names, &item) == 0) {
        counters_.objects_quarantined += detected;
        return report_action(path, QVX_AC_QUARANTINED);
      }
      ++counters_.quarantine_failed;
      return report_action(path, QVX_AC_QUARANTINE_FAILED);
    }
    case QVX_ACTION_DISINFECT: {
      if (!disinfect_asked_) return;
      auto clean = [this](int fd, uint64_t size) {
        raw_result r;
        own_context().scan_fd(fd, size, &r);
        if (r.error != 0) return false;
        for (uint32_t index : r.entries) {
          defs_entry e;
          if (defs_->entry(index, &e) && entry_visible(e)) return false;
        }
        return true;
      };
      if (file != nullptr && repairs != nullptr && repair_file(*file, *repairs, clean) == 0) {
        counters_.objects_cleaned += detected;
        return report_status(path, QVX_ST_DISINFECTED);
      }
      ++counters_.disinfect_failed;
      return report_status(path, QVX_ST_DISINFECT_FAILED);
    }
    default:
      return;
  }
}

}  // namespace qorvex
