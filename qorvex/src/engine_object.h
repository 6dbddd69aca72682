// One engine object: its settings, counters and the state that the callback may read, over a
// shared definitions set. Used by one thread at a time (the ABI's rule); events are raised on
// the thread that runs the command.
#ifndef QORVEX_SRC_ENGINE_OBJECT_H_
#define QORVEX_SRC_ENGINE_OBJECT_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qorvex/include/qorvex.h"
#include "qorvex/src/defs_set.h"
#include "qorvex/src/file_action.h"
#include "qorvex/src/folder_walk.h"
#include "qorvex/src/scan_context.h"

namespace qorvex {

inline constexpr int32_t kDefaultEventMask = QVX_EV_DETECTION | QVX_EV_STATUS | QVX_EV_ACTION;
inline constexpr size_t kMaxListValues = 4096;
inline constexpr size_t kMaxListValueLength = 4096;

struct object_settings {
  int32_t heuristics = QVX_HEUR_DEFAULT;
  int32_t macro_mode = QVX_MACRO_KEEP;
  int32_t flags = QVX_FLAG_STANDARD | QVX_FLAG_RECURSE;
  int32_t action = QVX_ACTION_NONE;
  int32_t archive_depth = 5;
  uint64_t hidden_kinds = 0;
  uint32_t member_limit = 0;
  int32_t event_mask = kDefaultEventMask;
  std::vector<std::string> include_ext, exclude_ext, exclude_file, exclude_folder;
};

// The values that properties 5, 15, 16, 17, 18, 20, 21 and 31 give during an event.
struct event_state {
  bool valid = false;
  int32_t status = 0;
  int32_t kind = 0;
  int32_t accuracy = 0;
  uint32_t qualifiers = 0;
  std::string malware_name;
  std::string object_name;
  std::string inner_name;
};

class engine_object {
 public:
  engine_object(std::shared_ptr<const defs_set> defs, qvx_callback callback, void* context);
  ~engine_object();

  void set_handle(qvx_handle h) { handle_ = h; }
  const std::shared_ptr<const defs_set>& defs() const { return defs_; }
  const object_settings& settings() const { return settings_; }

  int32_t get_property(int32_t property, int32_t index, void* buffer, uint64_t size) const;
  int32_t set_property(int32_t property, int32_t index, const void* buffer, uint64_t size);
  int32_t run_command(int32_t command, const void* argument, uint64_t first, uint64_t second);

  // Used by the scans (object_scan.cc, folder_walk.cc).
  file_scan_options scan_options() const;
  int32_t scan_file(const std::string& path);
  int32_t scan_folder(const std::string& path);
  // Raises the events of one scanned object (1, 2, 16 for each visible detection, 32 status 0
  // when there is none, 64) and counts it; true when it is reported as detected. `visible` gets
  // the positions in result.entries of the detections reported.
  bool report_object(const std::string& name, const std::string& inner, const raw_result& result,
                     std::vector<size_t>* visible = nullptr);
  // Counts a file and raises the events of all its objects; when any was detected, event 512
  // with code 6 for the file and then the action of property 4 on `file` (which may be null when
  // the file cannot be acted on). True when any object was detected (object_action.cc).
  bool report_file(const std::string& path, const file_scan_result& result,
                   const file_handle* file);
  // Raises event 512 code 14 for an object that could not be opened or read, and counts it.
  void report_unreadable(const std::string& name);
  // Raises event 32 with a status for an object that is not scanned.
  void report_status(const std::string& name, int32_t status, const std::string& inner = "");

 private:
  struct counters {
    uint64_t objects_processed = 0, objects_detected = 0, objects_failed = 0, files_processed = 0;
    uint64_t objects_deleted = 0, objects_cleaned = 0, objects_quarantined = 0;
    uint64_t disinfect_failed = 0, delete_failed = 0, quarantine_failed = 0;
  };

  int32_t raise(int32_t event);
  int32_t get_counter(int32_t property, uint64_t* value) const;
  bool entry_visible(const defs_entry& e) const;
  void report_action(const std::string& name, int32_t code);
  void apply_action(const std::string& path, const file_handle* file, uint64_t detected, bool whole,
                    const std::vector<repair_span>* repairs, const std::string& names);
  scan_context& own_context();

  std::shared_ptr<const defs_set> defs_;
  qvx_callback callback_;
  void* context_;
  qvx_handle handle_ = 0;
  object_settings settings_;
  counters counters_;
  event_state event_;
  bool disinfect_asked_ = false;  // the callback answered 1 to a detection of the current file
  std::unique_ptr<scan_context> scan_;  // for single files, on the calling thread; made lazily
};

}  // namespace qorvex

#endif  // QORVEX_SRC_ENGINE_OBJECT_H_
