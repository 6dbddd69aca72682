// Entry points of the engine library. Placeholder until the engine lands.
#include "qorvex.h"

extern "C" {
int32_t qvx_initialize(const char*) { return QVX_R_SUCCESS; }
int32_t qvx_finalize(void) { return QVX_R_SUCCESS; }
int32_t qvx_create_object(int32_t, int32_t, const char*, qvx_callback, void*, qvx_handle*) {
  return QVX_R_INVALID_DATA;
}
int32_t qvx_get_property(qvx_handle, int32_t, int32_t, void*, uint64_t) { return QVX_R_FAILED; }
int32_t qvx_set_property(qvx_handle, int32_t, int32_t, const void*, uint64_t) {
  return QVX_R_FAILED;
}
int32_t qvx_run_command(qvx_handle, int32_t, const void*, uint64_t, uint64_t) {
  return QVX_R_FAILED;
}
int32_t qvx_close_object(qvx_handle) { return QVX_R_SUCCESS; }
}
