#include "hubwire/rpc/client_connection.h"

#include <algorithm>

namespace rpc {

namespace {

// Checks the parts of a reply header that every reply shares: the header
// fields, and a frag_length that holds the fixed part of its type.
bool reply_header_ok(const raw_pdu& pdu, uint8_t expected_a, uint8_t expected_b) {
  const pdu_header& h = pdu.header;
  if (!header_is_valid(h)) return false;
  if (h.type != expected_a && h.type != expected_b) return false;
  return h.frag_length >= fixed_size(h.type);
}

}  // namespace

client_connection::client_connection(std::unique_ptr<byte_stream> stream)
    : stream_(std::move(stream)) {}

call_status client_connection::fail(call_status s) {
  broken_ = true;
  stream_->shutdown();
  return s;
}

uint32_t client_connection::next_call_id() {
  if (++call_id_ == 0) call_id_ = 1;  // 0 is skipped after a wrap-around
  return call_id_;
}

void client_connection::shutdown() {
  broken_ = true;
  stream_->shutdown();
}

call_status client_connection::bind(uint32_t group) {
  bind_body b;
  b.group = group;
  b.contexts.push_back({0, dispatcher_interface, {ndr_syntax}});
  uint32_t call_id = next_call_id();
  if (!write_pdu(stream_.get(), encode_bind(call_id, b))) return fail(rpc_s_server_unavailable);

  raw_pdu pdu;
  read_status rs =
      read_pdu(stream_.get(), proposed_fragment, &pdu, {reply_limit_ms, reply_limit_ms});
  if (rs == read_status::closed || rs == read_status::truncated || rs == read_status::timed_out) {
    return fail(rpc_s_call_failed);
  }
  if (rs != read_status::ok) return fail(rpc_s_protocol_error);
  if (!reply_header_ok(pdu, ptype_bind_ack, ptype_bind_nak) || pdu.header.call_id != call_id) {
    return fail(rpc_s_protocol_error);
  }
  if (pdu.header.type == ptype_bind_nak) return fail(rpc_s_protocol_error);

  bind_ack_body ack;
  if (!decode_bind_ack(pdu.data, &ack) || ack.results.size() != 1 || ack.max_xmit < min_fragment ||
      ack.max_recv < min_fragment || ack.group == 0) {
    return fail(rpc_s_protocol_error);
  }
  const bind_result& res = ack.results[0];
  if (res.result != 0) {
    if (res.reason == 1) return fail(rpc_s_unknown_if);
    if (res.reason == 2) return fail(rpc_s_unsupported_trans_syn);
    return fail(rpc_s_protocol_error);
  }
  if (res.transfer != ndr_syntax) return fail(rpc_s_protocol_error);
  group_ = ack.group;
  xmit_limit_ = std::min<size_t>(proposed_fragment, ack.max_recv);
  return status_ok;
}

call_status client_connection::call(uint16_t opnum, const bytes& stub, bytes* reply, int reply_ms) {
  if (broken_) return rpc_s_call_failed;
  uint32_t call_id = next_call_id();
  for (const bytes& frag : encode_request(call_id, 0, opnum, stub, xmit_limit_)) {
    if (!write_pdu(stream_.get(), frag)) return fail(rpc_s_call_failed);
  }
  return read_reply(call_id, reply, reply_ms);
}

call_status client_connection::read_reply(uint32_t call_id, bytes* reply, int reply_ms) {
  reply->clear();
  bool first = true;
  for (;;) {
    raw_pdu pdu;
    // Later fragments of a reply that has begun fall under the PDU limit.
    read_limits limits{first ? reply_ms : reply_limit_ms, reply_limit_ms};
    read_status rs = read_pdu(stream_.get(), proposed_fragment, &pdu, limits);
    if (rs == read_status::closed || rs == read_status::truncated || rs == read_status::timed_out) {
      return fail(rpc_s_call_failed);
    }
    if (rs != read_status::ok) return fail(rpc_s_protocol_error);
    if (!reply_header_ok(pdu, ptype_response, ptype_fault) || pdu.header.call_id != call_id) {
      return fail(rpc_s_protocol_error);
    }
    call_body body;
    if (pdu.header.type == ptype_fault) {
      if (!first || !decode_fault(pdu.data, &body)) return fail(rpc_s_protocol_error);
      call_status s = status_for_fault(body.status);
      // The server closes the connection after a protocol error or an
      // oversized request; anything else leaves it usable.
      if (body.status == nca_proto_error || body.status == fault_access_denied) return fail(s);
      return s;
    }
    bool has_first = (pdu.header.flags & pfc_first_frag) != 0;
    if (has_first != first || !decode_response(pdu.data, &body) || body.cont_id != 0) {
      return fail(rpc_s_protocol_error);
    }
    if (reply->size() + body.stub_size > max_stub) return fail(rpc_s_protocol_error);
    reply->insert(reply->end(), body.stub, body.stub + body.stub_size);
    if ((pdu.header.flags & pfc_last_frag) != 0) return status_ok;
    first = false;
  }
}

}  // namespace rpc
