// The fake engine: the seven entry points of qorvex.h answered from a script, every call logged.
#ifndef TESTS_FAKE_ENGINE_ENGINE_H_
#define TESTS_FAKE_ENGINE_ENGINE_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "qorvex.h"
#include "tests/fake_engine/call_log.h"
#include "tests/fake_engine/script.h"

namespace qvx_fake {

// Answers calls as the script says. Calls on different objects may come from different threads
// at once; the callback runs on the thread of the run_command that raises the event, with no lock
// of the engine held, so that it can read properties back.
class engine {
 public:
  engine(script s, call_log* log);  // `log` is not owned and must outlive the engine

  int32_t initialize(const char* reserved);
  int32_t finalize();
  int32_t create_object(int32_t reserved, int32_t object_type, const char* definitions_dir,
                        qvx_callback callback, void* context, qvx_handle* object);
  int32_t get_property(qvx_handle object, int32_t property, int32_t index, void* buffer,
                       uint64_t size);
  int32_t set_property(qvx_handle object, int32_t property, int32_t index, const void* buffer,
                       uint64_t size);
  int32_t run_command(qvx_handle object, int32_t command, const void* argument, uint64_t first,
                      uint64_t second);
  int32_t close_object(qvx_handle object);

 private:
  struct object_state {
    qvx_callback callback = nullptr;
    void* context = nullptr;
  };
  bool find_object(qvx_handle object, object_state* out);
  const run_rule* find_run(int32_t command, const char* argument, const std::string& text) const;
  const value* find_value(qvx_handle object, int32_t property, int32_t index) const;
  void raise(qvx_handle object, const object_state& state, const event& e);

  const script script_;
  call_log* const log_;
  std::mutex mutex_;  // guards the three members below
  uint64_t create_calls_ = 0;
  qvx_handle last_handle_ = 0;
  std::map<qvx_handle, object_state> objects_;
};

}  // namespace qvx_fake

#endif  // TESTS_FAKE_ENGINE_ENGINE_H_
