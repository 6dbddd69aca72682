#include "hubsvc/connection.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>

#include "hubwire/platform/unix_stream.h"
#include "hubwire/rpc/dispatcher_stubs.h"
#include "hubwire/rpc/pdu.h"
#include "hubwire/rpc/status.h"

namespace hubsvc {

namespace {

constexpr uint16_t nak_not_specified = 0;
constexpr uint16_t nak_protocol_version = 4;
constexpr uint16_t nak_auth_type = 8;

constexpr uint8_t kBothFrags = rpc::pfc_first_frag | rpc::pfc_last_frag;

rpc::bind_result negotiate(const rpc::context_elem& c) {
  static const std::array<uint8_t, 8> kProbe = {0x2c, 0x1c, 0xb7, 0x6c, 0x12, 0x98, 0x40, 0x45};
  rpc::bind_result r;
  if (c.abstract != rpc::dispatcher_interface) {
    r.result = 2;
    r.reason = 1;
    return r;
  }
  // A feature negotiation probe of other clients: that feature is not offered.
  if (std::equal(kProbe.begin(), kProbe.end(), c.transfer[0].uuid.begin())) {
    r.result = 2;
    r.reason = 2;
    return r;
  }
  if (std::find(c.transfer.begin(), c.transfer.end(), rpc::ndr_syntax) == c.transfer.end()) {
    r.result = 2;
    r.reason = 2;
    return r;
  }
  r.transfer = rpc::ndr_syntax;
  return r;
}

}  // namespace

connection::connection(int fd, registry* reg, peer_cred cred)
    : fd_(fd), stream_(platform::adopt_socket(fd)), reg_(reg), cred_(cred) {}

connection::~connection() {
  if (group_ != 0) reg_->leave_group(group_);
}

void connection::stop() { stream_->shutdown(); }

connection::ending connection::serve() {
  for (;;) {
    rpc::raw_pdu pdu;
    // The first PDU's time counts from here, just after the connection was accepted.
    rpc::read_limits limits =
        group_ == 0 ? rpc::read_limits{-1, -1, kFirstPduMs} : rpc::read_limits{-1, kPduMs, -1};
    rpc::read_status rs = rpc::read_pdu(stream_.get(), frag_limit_, &pdu, limits);
    if (rs == rpc::read_status::timed_out) return ending::timed_out;
    if (rs != rpc::read_status::ok && rs != rpc::read_status::too_long) return ending::done;
    next n;
    if (rs == rpc::read_status::too_long) {
      // The rest of the fragment is not read: the stream cannot be trusted.
      n = group_ == 0 ? bind_nak(pdu.header.call_id, pdu.header.type == rpc::ptype_bind
                                                         ? nak_not_specified
                                                         : nak_protocol_version)
                      : fault(rpc::nca_proto_error, true, true);
    } else {
      n = group_ == 0 ? on_first_pdu(pdu) : on_pdu(pdu);
    }
    if (n == next::close) return ending::done;
  }
}

connection::next connection::bind_nak(uint32_t call_id, uint16_t reason) {
  rpc::write_pdu(stream_.get(), rpc::encode_bind_nak(call_id, reason));
  return next::close;
}

connection::next connection::fault(uint32_t status, bool did_not_execute, bool then_close) {
  uint16_t cont = accepted_contexts_.count(cont_id_) ? cont_id_ : 0;
  bool sent =
      rpc::write_pdu(stream_.get(), rpc::encode_fault(call_id_, cont, status, did_not_execute));
  in_call_ = false;
  stub_.clear();
  return then_close || !sent ? next::close : next::go_on;
}

connection::next connection::on_first_pdu(const rpc::raw_pdu& pdu) {
  const rpc::pdu_header& h = pdu.header;
  if (h.type != rpc::ptype_bind) return bind_nak(h.call_id, nak_protocol_version);
  if (h.auth_length != 0) return bind_nak(h.call_id, nak_auth_type);
  if (!rpc::header_is_valid(h) || (h.flags & kBothFrags) != kBothFrags ||
      h.frag_length < rpc::fixed_size(rpc::ptype_bind)) {
    return bind_nak(h.call_id, nak_protocol_version);
  }
  rpc::bind_body b;
  switch (rpc::decode_bind(pdu.data, &b)) {
    case rpc::bind_error::none:
      break;
    case rpc::bind_error::no_contexts:
      return bind_nak(h.call_id, nak_protocol_version);
    case rpc::bind_error::overrun:
    case rpc::bind_error::no_transfer:
      return bind_nak(h.call_id, nak_not_specified);
  }
  uint32_t group = b.group == 0 ? reg_->create_group(cred_.uid)
                                : (reg_->join_group(b.group, cred_.uid) ? b.group : 0);
  if (group == 0) return bind_nak(h.call_id, nak_not_specified);
  group_ = group;

  size_t n = std::min<size_t>({b.max_xmit, b.max_recv, rpc::proposed_fragment});
  frag_limit_ = std::max(n, rpc::min_fragment) & ~size_t{7};
  rpc::bind_ack_body ack;
  ack.max_xmit = ack.max_recv = static_cast<uint16_t>(frag_limit_);
  ack.group = group;
  ack.sec_addr = "dspIfEp";
  for (const rpc::context_elem& c : b.contexts) {
    ack.results.push_back(negotiate(c));
    if (ack.results.back().result == 0) accepted_contexts_.insert(c.id);
  }
  if (!rpc::write_pdu(stream_.get(), rpc::encode_bind_ack(h.call_id, ack))) return next::close;
  return next::go_on;
}

connection::next connection::on_pdu(const rpc::raw_pdu& pdu) {
  const rpc::pdu_header& h = pdu.header;
  if (!in_call_) call_id_ = h.call_id;
  if (!rpc::header_is_valid(h)) return fault(rpc::nca_proto_error, true, true);
  switch (h.type) {
    case rpc::ptype_request:
      return on_request(pdu);
    case rpc::ptype_bind:
      return bind_nak(h.call_id, nak_not_specified);  // a connection binds once
    case rpc::ptype_co_cancel:
    case rpc::ptype_orphaned:
      return next::go_on;  // nothing runs long enough here to be worth cancelling
    default:
      return fault(rpc::nca_proto_error, true, true);
  }
}

connection::next connection::on_request(const rpc::raw_pdu& pdu) {
  const rpc::pdu_header& h = pdu.header;
  rpc::call_body body;
  if (h.frag_length < rpc::request_header_size || (h.flags & rpc::pfc_maybe) != 0 ||
      !rpc::decode_request(pdu.data, &body)) {
    return fault(rpc::nca_proto_error, true, true);
  }
  bool first = (h.flags & rpc::pfc_first_frag) != 0;
  if (!in_call_) {
    if (!first) return fault(rpc::nca_proto_error, true, true);
    in_call_ = true;
    call_id_ = h.call_id;
    cont_id_ = body.cont_id;
    opnum_ = body.opnum;
    stub_.clear();
    if (body.alloc_hint > rpc::max_stub) return fault(rpc::fault_access_denied, true, true);
  } else if (first || h.call_id != call_id_ || body.cont_id != cont_id_ || body.opnum != opnum_) {
    return fault(rpc::nca_proto_error, true, true);
  }
  if (stub_.size() + body.stub_size > rpc::max_stub) {
    return fault(rpc::fault_access_denied, true, true);
  }
  stub_.insert(stub_.end(), body.stub, body.stub + body.stub_size);
  if ((h.flags & rpc::pfc_last_frag) == 0) return next::go_on;
  return run_call();
}

connection::next connection::reply(const rpc::bytes& stub) {
  for (const rpc::bytes& frag : rpc::encode_response(call_id_, cont_id_, stub, frag_limit_)) {
    if (!rpc::write_pdu(stream_.get(), frag)) return next::close;
  }
  in_call_ = false;
  stub_.clear();
  return next::go_on;
}

bool connection::peer_gone() {
  pollfd p{fd_, POLLIN | POLLRDHUP, 0};
  return poll(&p, 1, 0) != 0;
}

connection::next connection::run_call() {
  if (accepted_contexts_.count(cont_id_) == 0) return fault(rpc::nca_unk_if, true, false);
  if (opnum_ >= rpc::op_count) return fault(rpc::nca_op_rng_error, true, false);
  const uint8_t* p = stub_.data();
  size_t n = stub_.size();
  auto bad_stub = [this] { return fault(rpc::fault_bad_stub_data, true, false); };
  auto bad_handle = [this] { return fault(rpc::nca_context_mismatch, true, false); };

  switch (opnum_) {
    case rpc::op_connect_client: {
      rpc::connect_request req;
      if (!rpc::decode_connect_request(p, n, &req)) return bad_stub();
      rpc::context_reply r;
      r.result = reg_->connect_client(group_, req, cred_, &r.ctx);
      return reply(rpc::encode_context_reply(r));
    }
    case rpc::op_send_message:
    case rpc::op_send_response: {
      rpc::send_request req;
      if (!rpc::decode_send_request(p, n, &req)) return bad_stub();
      if (opnum_ == rpc::op_send_response) {
        int32_t result = 0;
        if (reg_->send_response(group_, req, &result) != call_result::ok) return bad_handle();
        return reply(rpc::encode_result_reply(result));
      }
      rpc::send_reply r;
      if (reg_->send_message(group_, req, &r.serial, &r.result) != call_result::ok) {
        return bad_handle();
      }
      return reply(rpc::encode_send_reply(r));
    }
    case rpc::op_add_name: {
      rpc::name_request req;
      if (!rpc::decode_name_request(p, n, &req)) return bad_stub();
      int32_t result = 0;
      if (reg_->add_name(group_, req, &result) != call_result::ok) return bad_handle();
      return reply(rpc::encode_result_reply(result));
    }
    case rpc::op_receive_message: {
      rpc::context_request req;
      if (!rpc::decode_context_request(p, n, &req)) return bad_stub();
      rpc::receive_reply r;
      call_result cr = reg_->receive_message(
          group_, req.ctx, [this] { return peer_gone(); }, &r.msg, &r.result);
      if (cr == call_result::bad_handle) return bad_handle();
      if (cr == call_result::stopping) return next::close;
      if (cr == call_result::abandoned) {
        // Either the peer hung up (the call is orphaned) or it started a new
        // call while this one is out, which this server does not multiplex.
        rpc::raw_pdu extra;
        if (rpc::read_pdu(stream_.get(), frag_limit_, &extra) != rpc::read_status::ok) {
          return next::close;
        }
        call_id_ = extra.header.call_id;
        return fault(rpc::nca_proto_error, true, true);
      }
      // A message leaves the queue only once its reply is written.
      next done = reply(rpc::encode_receive_reply(r));
      if (done == next::close && r.result == 0) reg_->requeue(group_, req.ctx, std::move(r.msg));
      return done;
    }
    default: {  // op_disconnect_client
      rpc::context_request req;
      if (!rpc::decode_context_request(p, n, &req)) return bad_stub();
      rpc::context_reply r;  // the closed handle: all zero
      if (reg_->disconnect_client(group_, req.ctx, &r.result) != call_result::ok) {
        return bad_handle();
      }
      return reply(rpc::encode_context_reply(r));
    }
  }
}

}  // namespace hubsvc
