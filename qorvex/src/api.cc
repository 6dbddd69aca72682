// The seven entry points of the engine library. Every call resolves its handle under a lock and
// then works on the object alone: the ABI lets different objects run at once on different
// threads, and one object is used by one thread at a time. No exception crosses the ABI.
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "qorvex/include/qorvex.h"
#include "qorvex/src/defs_registry.h"
#include "qorvex/src/engine_object.h"
#include "qorvex/src/worker_pool.h"

namespace qorvex {
namespace {

std::mutex handles_mutex;
qvx_handle next_handle = 1;

std::map<qvx_handle, std::shared_ptr<engine_object>>& handles() {
  static auto* map = new std::map<qvx_handle, std::shared_ptr<engine_object>>();
  return *map;
}

std::shared_ptr<engine_object> find(qvx_handle h) {
  std::lock_guard<std::mutex> lock(handles_mutex);
  auto it = handles().find(h);
  return it == handles().end() ? nullptr : it->second;
}

template <typename F>
int32_t guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return QVX_R_NO_MEMORY;
  } catch (...) {
    return QVX_R_FAILED;
  }
}

}  // namespace
}  // namespace qorvex

using qorvex::guarded;

extern "C" {

QORVEX_EXPORT int32_t qvx_initialize(const char*) { return QVX_R_SUCCESS; }

QORVEX_EXPORT int32_t qvx_finalize(void) {
  return guarded([] {
    qorvex::worker_pool::shutdown();
    return QVX_R_SUCCESS;
  });
}

QORVEX_EXPORT int32_t qvx_create_object(int32_t, int32_t object_type, const char* definitions_dir,
                                        qvx_callback callback, void* context, qvx_handle* object) {
  return guarded([&] {
    if (object == nullptr || definitions_dir == nullptr) return int32_t(QVX_R_INVALID_DATA);
    std::shared_ptr<const qorvex::defs_set> defs;
    std::string err;
    int32_t r = qorvex::acquire_defs(definitions_dir, object_type, &defs, &err);
    if (r != QVX_R_SUCCESS) return r;
    auto obj = std::make_shared<qorvex::engine_object>(std::move(defs), callback, context);
    std::lock_guard<std::mutex> lock(qorvex::handles_mutex);
    qvx_handle h = qorvex::next_handle++;
    obj->set_handle(h);
    qorvex::handles()[h] = std::move(obj);
    *object = h;
    return int32_t(QVX_R_SUCCESS);
  });
}

QORVEX_EXPORT int32_t qvx_get_property(qvx_handle object, int32_t property, int32_t index,
                                       void* buffer, uint64_t size) {
  return guarded([&] {
    auto obj = qorvex::find(object);
    return obj ? obj->get_property(property, index, buffer, size) : int32_t(QVX_R_INVALID_DATA);
  });
}

QORVEX_EXPORT int32_t qvx_set_property(qvx_handle object, int32_t property, int32_t index,
                                       const void* buffer, uint64_t size) {
  return guarded([&] {
    auto obj = qorvex::find(object);
    return obj ? obj->set_property(property, index, buffer, size) : int32_t(QVX_R_INVALID_DATA);
  });
}

QORVEX_EXPORT int32_t qvx_run_command(qvx_handle object, int32_t command, const void* argument,
                                      uint64_t first, uint64_t second) {
  return guarded([&] {
    auto obj = qorvex::find(object);
    return obj ? obj->run_command(command, argument, first, second) : int32_t(QVX_R_INVALID_DATA);
  });
}

QORVEX_EXPORT int32_t qvx_close_object(qvx_handle object) {
  return guarded([&] {
    std::shared_ptr<qorvex::engine_object> obj;
    {
      std::lock_guard<std::mutex> lock(qorvex::handles_mutex);
      auto it = qorvex::handles().find(object);
      if (it == qorvex::handles().end()) return int32_t(QVX_R_INVALID_DATA);
      obj = std::move(it->second);
      qorvex::handles().erase(it);
    }
    // The object, and with the last object its definitions set, is freed outside the lock.
    obj.reset();
    return int32_t(QVX_R_SUCCESS);
  });
}

}  // extern "C"
