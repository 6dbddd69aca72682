/* engine_scan: drives the engine library alone over one folder, for the benchmark.
 *
 *   engine_scan DEFS_DIR TARGET [OBJECTS]
 *
 * Creates OBJECTS engine objects (default 1) from DEFS_DIR, as the scanner does with one object per
 * thread, scans TARGET with the first, and prints one "Found: PATH" line per detected object, then
 * "load_ms=... result=... files=... detected=..." on the last line. Written in C, so it also shows
 * that the engine header is plain C. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "qorvex.h"

static double now_ms(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static int32_t on_event(qvx_handle object, int32_t event, void* context) {
  (void)context;
  if (event == QVX_EV_ACTION) {
    int32_t code = 0;
    static char name[10240], inner[10240];
    qvx_get_property(object, QVX_P_STATUS, 0, &code, sizeof code);
    if (code == 6 && qvx_get_property(object, QVX_P_OBJECT_NAME, 0, name, sizeof name) == 0) {
      inner[0] = 0;
      qvx_get_property(object, QVX_P_INNER_NAME, 0, inner, sizeof inner);
      printf("Found: %s%s\n", name, inner);
    }
  }
  return 0;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: engine_scan DEFS_DIR TARGET [OBJECTS]\n");
    return 2;
  }
  int objects = argc > 3 ? atoi(argv[3]) : 1;
  if (objects < 1 || objects > 256) return 2;
  qvx_handle handles[256];
  qvx_initialize(NULL);
  double start = now_ms();
  for (int i = 0; i < objects; ++i) {
    int32_t r = qvx_create_object(0, QVX_TYPE_V2, argv[1], on_event, NULL, &handles[i]);
    if (r != 0) {
      fprintf(stderr, "engine_scan: create_object: %d\n", r);
      return 1;
    }
    int32_t mask = QVX_EV_ACTION;
    qvx_set_property(handles[i], QVX_P_EVENT_MASK, 0, &mask, sizeof mask);
  }
  double loaded = now_ms();
  int32_t result = qvx_run_command(handles[0], QVX_CMD_SCAN_FOLDER, argv[2], 0, 0);
  uint64_t files = 0, detected = 0;
  qvx_get_property(handles[0], QVX_P_FILES_PROCESSED, 0, &files, sizeof files);
  qvx_get_property(handles[0], QVX_P_OBJECTS_DETECTED, 0, &detected, sizeof detected);
  printf("load_ms=%.2f scan_ms=%.1f result=%d files=%llu detected=%llu\n", loaded - start,
         now_ms() - loaded, result, (unsigned long long)files, (unsigned long long)detected);
  for (int i = 0; i < objects; ++i) qvx_close_object(handles[i]);
  qvx_finalize();
  return 0;
}
