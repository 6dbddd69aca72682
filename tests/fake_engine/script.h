// The fake engine's script: which results, property values and events the test double gives.
// The format is documented in tests/fake_engine/README.md.
#ifndef TESTS_FAKE_ENGINE_SCRIPT_H_
#define TESTS_FAKE_ENGINE_SCRIPT_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace qvx_fake {

// What a get of a property reads back.
struct value {
  enum class kind { integer, text, failure };
  kind type = kind::integer;
  uint64_t integer = 0;  // two's complement bits of a negative number
  std::string text;      // decoded bytes; "$ARG" is replaced when the value is read
  int32_t result = 0;    // for kind::failure: the get's result
};

// One property value of a `prop` line or of an event.
struct prop_value {
  uint64_t handle = 0;  // 0: every handle
  int32_t property = 0;
  bool any_index = true;
  int32_t index = 0;
  value val;
};

struct event {
  int32_t code = 0;
  std::vector<prop_value> props;  // read back while the callback runs, before `prop` lines
  uint32_t count = 1;
};

struct run_rule {
  int32_t command = 0;
  bool any_arg = true;
  std::string arg;  // "$ARG" is replaced by the argument text before comparing
  int32_t result = 0;
  std::vector<event> events;
};

struct script {
  int32_t init_result = 0;
  std::map<uint64_t, int32_t> create_results;  // by the 1-based number of the create call
  std::map<int32_t, int32_t> set_results;      // by property
  std::vector<prop_value> props;               // in file order
  std::vector<run_rule> runs;                  // in file order; the first match wins
};

// Limits, so that a runaway script fails loudly instead of eating the machine.
inline constexpr size_t kMaxScriptBytes = 4 << 20;
inline constexpr uint32_t kMaxEventCount = 1000000;

// Parses a whole script. On failure returns false and sets *err to "bad script line N: why".
bool parse_script(std::string_view text, script* out, std::string* err);

// Replaces every "$ARG" in `text` by `arg`.
std::string substitute_arg(std::string_view text, std::string_view arg);

}  // namespace qvx_fake

#endif  // TESTS_FAKE_ENGINE_SCRIPT_H_
