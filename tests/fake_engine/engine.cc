#include "tests/fake_engine/engine.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace qvx_fake {
namespace {

// Texts the scanner hands over are paths and option values; anything longer is a runaway pointer.
constexpr size_t kMaxArgumentText = 1 << 20;
// Longer set values are logged by their size alone.
constexpr uint64_t kMaxLoggedValue = 1 << 16;

// The run_command in progress on this thread: the callback's property reads see its event.
struct run_context {
  const engine* owner;
  qvx_handle object;
  std::string arg;
  const event* current;
  run_context* outer;
};
thread_local run_context* current_run = nullptr;

std::string read_text(const void* p) {
  const char* text = static_cast<const char*>(p);
  return std::string(text, strnlen(text, kMaxArgumentText));
}

std::string handle_name(qvx_handle object) { return "h" + std::to_string(object); }

void write_value(const value& v, std::string_view arg, void* buffer, uint64_t size) {
  auto* out = static_cast<unsigned char*>(buffer);
  if (v.type == value::kind::integer) {
    // Little-endian, cut to the caller's size: 4 bytes make an int32, 8 an int64.
    for (uint64_t i = 0; i < std::min<uint64_t>(size, 8); ++i) out[i] = v.integer >> (8 * i);
    return;
  }
  std::string text = substitute_arg(v.text, arg);
  // The terminating zero is written only when it fits, as the ABI allows; a caller that relies on
  // it anyway reads past its buffer, which the sanitizer build then shows.
  memcpy(out, text.data(), std::min<uint64_t>(text.size(), size));
  if (text.size() < size) out[text.size()] = 0;
}

std::string describe_set_value(const void* buffer, uint64_t size) {
  if (buffer == nullptr) return "value=null";
  if (size == 4) {
    int32_t v;
    memcpy(&v, buffer, 4);
    return "i32=" + std::to_string(v);
  }
  if (size == 8) {
    int64_t v;
    memcpy(&v, buffer, 8);
    return "i64=" + std::to_string(v);
  }
  if (size > kMaxLoggedValue) return "text=(" + std::to_string(size) + " bytes)";
  return "text=" + quote(std::string_view(static_cast<const char*>(buffer), size));
}

const prop_value* find_in(const std::vector<prop_value>& props, qvx_handle object, int32_t property,
                          int32_t index) {
  for (const prop_value& p : props) {
    if (p.handle == object && p.property == property && (p.any_index || p.index == index)) {
      return &p;
    }
  }
  return nullptr;
}

}  // namespace

engine::engine(script s, call_log* log) : script_(std::move(s)), log_(log) {}

int32_t engine::initialize(const char*) {
  log_->append("initialize -> " + std::to_string(script_.init_result));
  return script_.init_result;
}

int32_t engine::finalize() {
  log_->append("finalize -> 0");
  return QVX_R_SUCCESS;
}

int32_t engine::create_object(int32_t reserved, int32_t object_type, const char* definitions_dir,
                              qvx_callback callback, void* context, qvx_handle* object) {
  std::string line = "create reserved=" + std::to_string(reserved) +
                     " type=" + std::to_string(object_type) +
                     " dir=" + (definitions_dir ? quote(read_text(definitions_dir)) : "null");
  std::lock_guard<std::mutex> lock(mutex_);
  auto scripted = script_.create_results.find(++create_calls_);
  int32_t result = scripted == script_.create_results.end() ? QVX_R_SUCCESS : scripted->second;
  if (result == QVX_R_SUCCESS && object == nullptr) result = QVX_R_INVALID_DATA;
  line += " -> " + std::to_string(result);
  if (result == QVX_R_SUCCESS) {
    *object = ++last_handle_;
    objects_[*object] = object_state{callback, context};
    line += " " + handle_name(*object);
  }
  // Logged under the lock, so that the create lines show the handles in the order given out.
  log_->append(line);
  return result;
}

int32_t engine::get_property(qvx_handle object, int32_t property, int32_t index, void* buffer,
                             uint64_t size) {
  object_state state;
  int32_t result = QVX_R_INVALID_DATA;
  if (find_object(object, &state)) {
    result = QVX_R_SUCCESS;
    if (const value* v = find_value(object, property, index)) {
      if (v->type == value::kind::failure) {
        result = v->result;
      } else if (buffer != nullptr) {
        write_value(*v, current_run ? current_run->arg : "", buffer, size);
      }
    }
  }
  log_->append("get " + handle_name(object) + " " + std::to_string(property) + " " +
               std::to_string(index) + " size=" + std::to_string(size) + " -> " +
               std::to_string(result));
  return result;
}

int32_t engine::set_property(qvx_handle object, int32_t property, int32_t index, const void* buffer,
                             uint64_t size) {
  object_state state;
  int32_t result = QVX_R_INVALID_DATA;
  if (find_object(object, &state)) {
    auto scripted = script_.set_results.find(property);
    result = scripted == script_.set_results.end() ? QVX_R_SUCCESS : scripted->second;
  }
  log_->append("set " + handle_name(object) + " " + std::to_string(property) + " " +
               std::to_string(index) + " " + describe_set_value(buffer, size) + " -> " +
               std::to_string(result));
  return result;
}

int32_t engine::run_command(qvx_handle object, int32_t command, const void* argument,
                            uint64_t first, uint64_t second) {
  std::string text = argument ? read_text(argument) : "";
  // Command 7 passes a process value as text in `first` and, for the advanced memory scan, a
  // pointer to a 32-bit flag in `second`; both travel as addresses.
  bool memory = command == QVX_CMD_SCAN_MEMORY;
  std::string first_text = memory && argument && first
                               ? quote(read_text(reinterpret_cast<const void*>(first)))
                               : std::to_string(first);
  std::string second_text = std::to_string(second);
  if (memory && !argument && second) {
    int32_t flag;
    memcpy(&flag, reinterpret_cast<const void*>(second), sizeof flag);
    second_text = "*" + std::to_string(flag);
  }
  object_state state;
  int32_t result = QVX_R_INVALID_DATA;
  if (find_object(object, &state)) {
    const run_rule* rule = find_run(command, static_cast<const char*>(argument), text);
    result = rule ? rule->result : QVX_R_SUCCESS;
    if (rule != nullptr && !rule->events.empty()) {
      run_context context{this, object, text, nullptr, current_run};
      current_run = &context;
      for (const event& e : rule->events) raise(object, state, e);
      current_run = context.outer;
    }
  }
  log_->append("run " + handle_name(object) + " " + std::to_string(command) +
               " arg=" + (argument ? quote(text) : "null") + " first=" + first_text +
               " second=" + second_text + " -> " + std::to_string(result));
  return result;
}

int32_t engine::close_object(qvx_handle object) {
  int32_t result = QVX_R_INVALID_DATA;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (objects_.erase(object) == 1) result = QVX_R_SUCCESS;
  }
  log_->append("close " + handle_name(object) + " -> " + std::to_string(result));
  return result;
}

bool engine::find_object(qvx_handle object, object_state* out) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = objects_.find(object);
  if (it == objects_.end()) return false;
  *out = it->second;
  return true;
}

const run_rule* engine::find_run(int32_t command, const char* argument,
                                 const std::string& text) const {
  for (const run_rule& r : script_.runs) {
    if (r.command != command) continue;
    if (r.any_arg || (argument != nullptr && substitute_arg(r.arg, text) == text)) return &r;
  }
  return nullptr;
}

const value* engine::find_value(qvx_handle object, int32_t property, int32_t index) const {
  const run_context* run = current_run;
  if (run != nullptr && run->owner == this && run->object == object && run->current != nullptr) {
    if (const prop_value* p = find_in(run->current->props, 0, property, index)) return &p->val;
  }
  if (const prop_value* p = find_in(script_.props, object, property, index)) return &p->val;
  if (const prop_value* p = find_in(script_.props, 0, property, index)) return &p->val;
  return nullptr;
}

void engine::raise(qvx_handle object, const object_state& state, const event& e) {
  for (uint32_t i = 0; i < e.count; ++i) {
    current_run->current = &e;
    std::string answer = "none";
    if (state.callback != nullptr) {
      answer = std::to_string(state.callback(object, e.code, state.context));
    }
    current_run->current = nullptr;
    log_->append("callback " + handle_name(object) + " " + std::to_string(e.code) + " -> " +
                 answer);
  }
}

}  // namespace qvx_fake
