#include "hubwire/rpc/dispatcher_proxy.h"

namespace rpc {

call_status connect_client(binding* b, const std::u16string* identity, const opt_text& name,
                           int32_t process_id, context_handle* ctx, int32_t* result) {
  if (identity == nullptr) return rpc_x_null_ref_pointer;
  bytes reply;
  call_status s =
      b->call(op_connect_client, encode_connect_request({*identity, name, process_id}), &reply);
  if (s != status_ok) return s;
  context_reply r;
  if (!decode_context_reply(reply.data(), reply.size(), &r)) return rpc_x_bad_stub_data;
  *ctx = r.ctx;
  *result = r.result;
  return status_ok;
}

namespace {

call_status send_shaped(binding* b, uint16_t op, const context_handle& ctx,
                        const std::u16string* to_id, const std::u16string* msg_id, int32_t iparam1,
                        int32_t iparam2, const opt_text& sparam, int32_t serial, bytes* reply) {
  if (is_null(ctx)) return rpc_x_ss_in_null_context;
  if (to_id == nullptr || msg_id == nullptr) return rpc_x_null_ref_pointer;
  send_request req{ctx, *to_id, *msg_id, iparam1, iparam2, sparam, serial};
  return b->call(op, encode_send_request(req), reply);
}

}  // namespace

call_status send_message(binding* b, const context_handle& ctx, const std::u16string* to_id,
                         const std::u16string* msg_id, int32_t iparam1, int32_t iparam2,
                         const opt_text& sparam, int32_t* serial, int32_t* result) {
  bytes reply;
  call_status s = send_shaped(b, op_send_message, ctx, to_id, msg_id, iparam1, iparam2, sparam,
                              *serial, &reply);
  if (s != status_ok) return s;
  send_reply r;
  if (!decode_send_reply(reply.data(), reply.size(), &r)) return rpc_x_bad_stub_data;
  *serial = r.serial;
  *result = r.result;
  return status_ok;
}

call_status send_response(binding* b, const context_handle& ctx, const std::u16string* to_id,
                          const std::u16string* msg_id, int32_t iparam1, int32_t iparam2,
                          const opt_text& sparam, int32_t serial, int32_t* result) {
  bytes reply;
  call_status s = send_shaped(b, op_send_response, ctx, to_id, msg_id, iparam1, iparam2, sparam,
                              serial, &reply);
  if (s != status_ok) return s;
  return decode_result_reply(reply.data(), reply.size(), result) ? status_ok : rpc_x_bad_stub_data;
}

call_status add_name(binding* b, const context_handle& ctx, const std::u16string* name,
                     int32_t* result) {
  if (is_null(ctx)) return rpc_x_ss_in_null_context;
  if (name == nullptr) return rpc_x_null_ref_pointer;
  bytes reply;
  call_status s = b->call(op_add_name, encode_name_request({ctx, *name}), &reply);
  if (s != status_ok) return s;
  return decode_result_reply(reply.data(), reply.size(), result) ? status_ok : rpc_x_bad_stub_data;
}

call_status receive_message(binding* b, const context_handle& ctx, dispatcher_message* msg,
                            int32_t* result) {
  if (is_null(ctx)) return rpc_x_ss_in_null_context;
  bytes reply;
  // Blocks by design until a message comes: no limit on the reply.
  call_status s = b->call(op_receive_message, encode_context_request({ctx}), &reply, -1);
  if (s != status_ok) return s;
  receive_reply r;
  if (!decode_receive_reply(reply.data(), reply.size(), &r)) return rpc_x_bad_stub_data;
  *msg = std::move(r.msg);
  *result = r.result;
  return status_ok;
}

call_status disconnect_client(binding* b, context_handle* ctx, int32_t* result) {
  if (is_null(*ctx)) return rpc_x_ss_in_null_context;
  bytes reply;
  call_status s = b->call(op_disconnect_client, encode_context_request({*ctx}), &reply);
  if (s != status_ok) return s;
  context_reply r;
  if (!decode_context_reply(reply.data(), reply.size(), &r)) return rpc_x_bad_stub_data;
  *ctx = r.ctx;
  *result = r.result;
  return status_ok;
}

}  // namespace rpc
