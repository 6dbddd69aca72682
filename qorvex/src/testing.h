// Helpers shared by the engine's unit tests: a fresh temporary folder, definitions compiled from
// source text, and a session that drives an engine object through the C entry points and
// records the events it raises.
#ifndef QORVEX_SRC_TESTING_H_
#define QORVEX_SRC_TESTING_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "qorvex/include/qorvex.h"
#include "qorvex/src/defs_set.h"
#include "qorvex/src/source_parser.h"

namespace qorvex {

// A folder under $TMPDIR (or /tmp), removed with everything in it when the object goes.
class scoped_temp_dir {
 public:
  scoped_temp_dir();
  ~scoped_temp_dir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a file, making its parent folders.
void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);

// A small source used by most tests: markers for several kinds, an anchored pattern, a
// heuristic-only one, a hash and an allow-list value.
std::string test_source();
// Contents that match test_source(): each holds one marker.
inline constexpr const char* kVirusText = "xx MARK-VIRUS-ONE yy";
inline constexpr const char* kAdwareText = "MARK-ADWARE-TWO";
inline constexpr const char* kHeuristicText = "MARK-HEUR-THREE";
inline constexpr const char* kHashedText = "hashed content\n";
inline constexpr const char* kAllowedText = "allowed MARK-VIRUS-ONE\n";

// Compiles source text into sigbase-v2.def and qorvexcon-v2.def in dir. Fails the test on error.
void compile_into(const std::string& source, const std::string& dir,
                  const std::string& id = "202612101530");
// Compiles source text into a set held in memory.
std::shared_ptr<const defs_set> compile_set(const std::string& source);
// Compiles a parsed set and loads it as the engine would; null with a reason in *err.
std::shared_ptr<const defs_set> load_compiled(const source_set& set, std::string* err);

// Archives made at run time, byte for byte, so tests can also make damaged and hostile ones.
struct zip_member {
  std::string name;
  std::string data;
  bool deflate = true;
  uint16_t flags = 0;  // bit 0: encrypted (the data is then stored as given)
  int method = -1;     // forces the method field (e.g. 12, bzip2) over stored/deflated
};
std::string make_zip(const std::vector<zip_member>& members);
// A zip whose `copies` central entries all point at the one stored member: overlapping entries.
std::string make_overlapping_zip(const std::string& data, int copies);
std::string make_gzip(const std::string& data, const std::string& stored_name = "");
std::string deflate_raw(const std::string& data);

// One engine object made through the C entry points; every event it raises is recorded as a
// line: "<event> <status> <object><inner>" and, for event 16, " <kind> <accuracy> <qualifiers>
// <name>".
class engine_session {
 public:
  explicit engine_session(const std::string& defs_dir, int32_t type = QVX_TYPE_V2);
  ~engine_session();
  int32_t create_result() const { return create_result_; }
  qvx_handle handle() const { return handle_; }

  int32_t set_int(int32_t property, int32_t value, int32_t index = 0);
  int32_t set_u64(int32_t property, uint64_t value);
  int32_t set_text(int32_t property, const std::string& value);
  int32_t run(int32_t command, const std::string& path);
  uint64_t counter(int32_t property);
  std::string text(int32_t property, int32_t index = 0);

  std::vector<std::string> events;
  int32_t detection_answer = 0;  // what the callback answers to event 16 (1: disinfect wanted)

 private:
  static int32_t on_event(qvx_handle object, int32_t event, void* context);
  int32_t create_result_ = 0;
  qvx_handle handle_ = 0;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_TESTING_H_
