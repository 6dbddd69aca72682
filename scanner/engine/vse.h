// The engine wrapper: the scanner's only bridge to the engine library's seven entry points.
#ifndef FERROX_SCANNER_ENGINE_VSE_H_
#define FERROX_SCANNER_ENGINE_VSE_H_

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace ferrox {

using engine_handle = uint64_t;
using engine_result = int32_t;
using engine_object_list = std::vector<engine_handle>;

// The scanner's event callback, handed to every created object.
using engine_callback = int32_t (*)(engine_handle object, int32_t event, void* context);

enum class engine_start { load, leave_unloaded };

// With engine_start::load calls entry 1 on construction, and entry 2 on destruction when that
// succeeded. Every call below returns -4 without touching the engine when it is not loaded.
// Calls on different handles may run on different threads at once.
class vse {
 public:
  explicit vse(engine_start start);
  vse(const vse&) = delete;
  vse& operator=(const vse&) = delete;
  virtual ~vse();

  bool loaded() const { return loaded_; }

  engine_result create_object(int32_t object_type, const std::string& definitions_dir,
                              engine_callback callback, void* context, engine_handle& out);
  engine_result get_property(engine_handle h, int32_t property, int32_t index, void* buffer,
                             uint64_t size);
  engine_result set_property(engine_handle h, int32_t property, int32_t index, const void* buffer,
                             uint64_t size);
  engine_result run_command(engine_handle h, int32_t command, const void* argument, uint64_t first,
                            uint64_t second);
  engine_result close_object(engine_handle h);

  // Reads a zero-terminated text property into a zero-filled buffer of `capacity` bytes.
  engine_result get_text(engine_handle h, int32_t property, int32_t index, std::string& out,
                         std::size_t capacity = 10240);

 private:
  bool loaded_ = false;
};

// Appends the catalogue text of `result` to `out` and returns its log level (table-driven; an
// unlisted code gives level 3 and the internal-error text).
int32_t describe_result(engine_result result, std::ostream& out);

}  // namespace ferrox

#endif  // FERROX_SCANNER_ENGINE_VSE_H_
