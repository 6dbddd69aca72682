// The seven exported entry points of the fake engine. The script and the log are named by two
// environment variables that only this library reads, so the scanner needs no test hooks.
#include <fcntl.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "qorvex.h"
#include "tests/fake_engine/call_log.h"
#include "tests/fake_engine/engine.h"
#include "tests/fake_engine/script.h"

namespace qvx_fake {
namespace {

[[noreturn]] void fail(const std::string& what) {
  fprintf(stderr, "fake engine: %s\n", what.c_str());
  abort();
}

script load_script() {
  const char* path = getenv("QVX_FAKE_SCRIPT");
  script s;
  if (path == nullptr) return s;
  FILE* f = fopen(path, "rb");
  if (f == nullptr) {
    if (errno == ENOENT) return s;  // no script: every call gets its default answer
    fail(std::string("cannot read script ") + path + ": " + strerror(errno));
  }
  // One byte more than allowed, so that the parser sees an oversized script and says so.
  std::string text(kMaxScriptBytes + 1, '\0');
  text.resize(fread(text.data(), 1, text.size(), f));
  bool read_error = ferror(f) != 0;
  fclose(f);
  if (read_error) fail(std::string("cannot read script ") + path);
  std::string err;
  if (!parse_script(text, &s, &err)) fail(err);
  return s;
}

int open_log() {
  const char* path = getenv("QVX_FAKE_LOG");
  if (path == nullptr) return -1;
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fail(std::string("cannot open log ") + path + ": " + strerror(errno));
  return fd;
}

// Built on the first call from whichever thread makes it, and never destroyed: worker threads
// may still call in while the process exits.
engine& instance() {
  static std::once_flag once;
  static engine* the_engine = nullptr;
  std::call_once(once, [] {
    script s = load_script();
    auto* log = new call_log(open_log(), false);
    the_engine = new engine(std::move(s), log);
  });
  return *the_engine;
}

}  // namespace
}  // namespace qvx_fake

extern "C" {

int32_t qvx_initialize(const char* reserved) { return qvx_fake::instance().initialize(reserved); }

int32_t qvx_finalize(void) { return qvx_fake::instance().finalize(); }

int32_t qvx_create_object(int32_t reserved, int32_t object_type, const char* definitions_dir,
                          qvx_callback callback, void* context, qvx_handle* object) {
  return qvx_fake::instance().create_object(reserved, object_type, definitions_dir, callback,
                                            context, object);
}

int32_t qvx_get_property(qvx_handle object, int32_t property, int32_t index, void* buffer,
                         uint64_t size) {
  return qvx_fake::instance().get_property(object, property, index, buffer, size);
}

int32_t qvx_set_property(qvx_handle object, int32_t property, int32_t index, const void* buffer,
                         uint64_t size) {
  return qvx_fake::instance().set_property(object, property, index, buffer, size);
}

int32_t qvx_run_command(qvx_handle object, int32_t command, const void* argument, uint64_t first,
                        uint64_t second) {
  return qvx_fake::instance().run_command(object, command, argument, first, second);
}

int32_t qvx_close_object(qvx_handle object) { return qvx_fake::instance().close_object(object); }

}  // extern "C"
