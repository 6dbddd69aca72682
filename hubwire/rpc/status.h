// Status values of the dispatcher transport: the fault statuses that travel
// in a fault PDU, and the values a client call reports to its caller (0 when
// the call completed, else the code of the exception the call raised).
#ifndef HUBWIRE_RPC_STATUS_H_
#define HUBWIRE_RPC_STATUS_H_

#include <cstdint>

namespace rpc {

// In fault PDUs.
constexpr uint32_t nca_op_rng_error = 0x1c010002;
constexpr uint32_t nca_unk_if = 0x1c010003;
constexpr uint32_t nca_proto_error = 0x1c01000b;
constexpr uint32_t nca_context_mismatch = 0x1c00001a;
constexpr uint32_t nca_server_too_busy = 0x1c010014;
constexpr uint32_t fault_bad_stub_data = 0x000006f7;
constexpr uint32_t fault_access_denied = 0x00000005;

// Reported by client calls.
using call_status = uint32_t;
constexpr call_status status_ok = 0;
constexpr call_status rpc_s_server_unavailable = 1722;  // nothing listens on the endpoint
constexpr call_status rpc_s_call_failed = 1726;         // connection lost after sending
constexpr call_status rpc_s_protocol_error = 1728;
constexpr call_status rpc_s_unknown_if = 1717;
constexpr call_status rpc_s_unsupported_trans_syn = 1730;
constexpr call_status rpc_s_procnum_out_of_range = 1745;
constexpr call_status rpc_x_ss_in_null_context = 1775;
constexpr call_status rpc_x_null_ref_pointer = 1780;
constexpr call_status rpc_x_bad_stub_data = 1783;

// What a client reports for a fault with this status.
call_status status_for_fault(uint32_t fault_status);

}  // namespace rpc

#endif  // HUBWIRE_RPC_STATUS_H_
