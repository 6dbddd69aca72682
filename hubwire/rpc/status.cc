#include "hubwire/rpc/status.h"

namespace rpc {

call_status status_for_fault(uint32_t fault_status) {
  switch (fault_status) {
    case nca_op_rng_error:
      return rpc_s_procnum_out_of_range;
    case nca_unk_if:
      return rpc_s_unknown_if;
    case nca_proto_error:
      return rpc_s_protocol_error;
    case fault_bad_stub_data:
      return rpc_x_bad_stub_data;
    case status_ok:
      // A fault that claims success is still a fault: the call did not return.
      return rpc_s_call_failed;
    default:
      return fault_status;  // the context mismatch among them, unchanged
  }
}

}  // namespace rpc
