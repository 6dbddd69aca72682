/* Drives every entry point of qorvex.h from plain C through the fake engine, and compares the
 * fake's call log: proves that the header is still C and that the shared library answers as its
 * script says. Exits 0 on success. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "qorvex.h"

static const char kScript[] =
    "create 2 -2\n"
    "prop 1 0 84148224\n"
    "run 1 \"/p\" 1\n"
    "  event 16 21=\"$ARG\" 17=\"Eicar\" x2\n"
    "  event 32 5=0\n"
    "run 13 * 0\n"
    "  event 128 27=2 28.0=\"a\" 28.1=\"b\"\n";

static const char kExpectedLog[] =
    "initialize -> 0\n"
    "create reserved=0 type=14 dir=\"/defs/\" -> 0 h1\n"
    "create reserved=0 type=14 dir=\"/defs/\" -> -2\n"
    "create reserved=0 type=14 dir=\"/defs/\" -> 0 h2\n"
    "get h1 1 0 size=4 -> 0\n"
    "set h1 52 0 i32=-1 -> 0\n"
    "get h1 21 0 size=256 -> 0\n"
    "callback h1 16 -> 1\n"
    "get h1 21 0 size=256 -> 0\n"
    "callback h1 16 -> 1\n"
    "get h1 21 0 size=256 -> 0\n"
    "callback h1 32 -> 0\n"
    "run h1 1 arg=\"/p\" first=0 second=0 -> 1\n"
    "get h2 27 0 size=8 -> 0\n"
    "get h2 28 0 size=256 -> 0\n"
    "get h2 28 1 size=256 -> 0\n"
    "callback h2 128 -> 0\n"
    "run h2 13 arg=null first=0 second=0 -> 0\n"
    "run h2 7 arg=null first=0 second=*1 -> 0\n"
    "close h1 -> 0\n"
    "close h2 -> 0\n"
    "finalize -> 0\n";

/* What the callback saw, one line per event. */
static char seen[1024];

static int32_t on_event(qvx_handle object, int32_t event, void* context) {
  char text[256];
  size_t used = strlen(seen);
  (void)context;
  if (event == QVX_EV_NAMES) {
    uint64_t count = 0;
    qvx_get_property(object, QVX_P_NAME_COUNT, 0, &count, sizeof count);
    for (uint64_t i = 0; i < count; ++i) {
      memset(text, 0, sizeof text);
      qvx_get_property(object, QVX_P_NAME, (int32_t)i, text, sizeof text);
      used += (size_t)snprintf(seen + used, sizeof seen - used, "name %s\n", text);
    }
    return 0;
  }
  memset(text, 0, sizeof text);
  qvx_get_property(object, QVX_P_OBJECT_NAME, 0, text, sizeof text);
  snprintf(seen + used, sizeof seen - used, "%d %s\n", (int)event, text);
  return event == QVX_EV_DETECTION ? QVX_ANSWER_DISINFECT : QVX_ANSWER_NONE;
}

static int failures = 0;

static void expect_int(const char* what, long long got, long long want) {
  if (got == want) return;
  fprintf(stderr, "%s: got %lld, want %lld\n", what, got, want);
  ++failures;
}

static void expect_text(const char* what, const char* got, const char* want) {
  if (strcmp(got, want) == 0) return;
  fprintf(stderr, "%s: got\n%s\nwant\n%s\n", what, got, want);
  ++failures;
}

static int write_file(const char* path, const char* text) {
  FILE* f = fopen(path, "w");
  if (f == NULL) return 0;
  fputs(text, f);
  return fclose(f) == 0;
}

static void read_file(const char* path, char* out, size_t size) {
  FILE* f = fopen(path, "r");
  size_t n = 0;
  if (f != NULL) {
    n = fread(out, 1, size - 1, f);
    fclose(f);
  }
  out[n] = '\0';
}

int main(void) {
  char dir[] = "/tmp/fake_engine_abi_c_test.XXXXXX";
  char script_path[64], log_path[64], log_text[4096];
  qvx_handle first = 0, failed = 0, second = 0;
  uint32_t version = 0;
  int32_t heuristics = QVX_HEUR_DEFAULT, advanced = QVX_MEMORY_ADVANCED;

  if (mkdtemp(dir) == NULL) return 2;
  snprintf(script_path, sizeof script_path, "%s/script", dir);
  snprintf(log_path, sizeof log_path, "%s/log", dir);
  if (!write_file(script_path, kScript)) return 2;
  /* Read by the fake on its first call. */
  setenv("QVX_FAKE_SCRIPT", script_path, 1);
  setenv("QVX_FAKE_LOG", log_path, 1);

  expect_int("initialize", qvx_initialize(NULL), QVX_R_SUCCESS);
  expect_int("create 1", qvx_create_object(0, QVX_TYPE_V2, "/defs/", on_event, NULL, &first), 0);
  expect_int("create 2", qvx_create_object(0, QVX_TYPE_V2, "/defs/", on_event, NULL, &failed),
             QVX_R_INVALID_DATA);
  expect_int("create 3", qvx_create_object(0, QVX_TYPE_V2, "/defs/", on_event, NULL, &second), 0);
  expect_int("handles", (long long)(first * 10 + failed * 100 + second), 12);
  expect_int("get version",
             qvx_get_property(first, QVX_P_ENGINE_VERSION, 0, &version, sizeof version), 0);
  expect_int("version", version, 84148224);
  expect_int("set", qvx_set_property(first, QVX_P_HEURISTICS, 0, &heuristics, sizeof heuristics),
             0);
  expect_int("scan file", qvx_run_command(first, QVX_CMD_SCAN_FILE, "/p", 0, 0), QVX_R_DETECTED);
  expect_int("list names", qvx_run_command(second, QVX_CMD_LIST_NAMES, NULL, 0, 0), 0);
  expect_int("memory",
             qvx_run_command(second, QVX_CMD_SCAN_MEMORY, NULL, 0, (uint64_t)(uintptr_t)&advanced),
             0);
  expect_int("close 1", qvx_close_object(first), 0);
  expect_int("close 2", qvx_close_object(second), 0);
  expect_int("finalize", qvx_finalize(), 0);

  expect_text("callback", seen, "16 /p\n16 /p\n32 \nname a\nname b\n");
  read_file(log_path, log_text, sizeof log_text);
  expect_text("log", log_text, kExpectedLog);

  unlink(script_path);
  unlink(log_path);
  rmdir(dir);
  return failures == 0 ? 0 : 1;
}
