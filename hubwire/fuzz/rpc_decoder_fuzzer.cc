// Feeds arbitrary bytes to every decoder of the dispatcher wire: the PDU
// bodies and the six procedures' stubs. The first byte picks the decoder. A
// stub that decodes must encode back and decode to the same values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "hubwire/rpc/dispatcher_stubs.h"
#include "hubwire/rpc/pdu.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

void pdus(const rpc::bytes& pdu) {
  if (pdu.size() < rpc::header_size) return;
  rpc::decode_header(pdu.data());
  rpc::bind_body bind;
  rpc::decode_bind(pdu, &bind);
  rpc::bind_ack_body ack;
  rpc::decode_bind_ack(pdu, &ack);
  uint16_t reason;
  rpc::decode_bind_nak(pdu, &reason);
  rpc::call_body body;
  if (rpc::decode_request(pdu, &body)) check(body.stub + body.stub_size <= pdu.data() + pdu.size());
  rpc::decode_response(pdu, &body);
  rpc::decode_fault(pdu, &body);
}

void stubs(uint8_t which, const uint8_t* p, size_t n) {
  switch (which % 8) {
    case 0: {
      rpc::connect_request r;
      if (!rpc::decode_connect_request(p, n, &r)) return;
      rpc::bytes b = rpc::encode_connect_request(r);
      rpc::connect_request back;
      check(rpc::decode_connect_request(b.data(), b.size(), &back) && back.identity == r.identity &&
            back.name == r.name && back.process_id == r.process_id);
      return;
    }
    case 1: {
      rpc::send_request r;
      if (!rpc::decode_send_request(p, n, &r)) return;
      rpc::bytes b = rpc::encode_send_request(r);
      rpc::send_request back;
      check(rpc::decode_send_request(b.data(), b.size(), &back) && back.to_id == r.to_id &&
            back.sparam == r.sparam && back.serial == r.serial);
      return;
    }
    case 2: {
      rpc::name_request r;
      rpc::decode_name_request(p, n, &r);
      return;
    }
    case 3: {
      rpc::context_request r;
      rpc::decode_context_request(p, n, &r);
      return;
    }
    case 4: {
      rpc::context_reply r;
      rpc::decode_context_reply(p, n, &r);
      return;
    }
    case 5: {
      rpc::send_reply r;
      rpc::decode_send_reply(p, n, &r);
      int32_t v;
      rpc::decode_result_reply(p, n, &v);
      return;
    }
    default: {
      rpc::receive_reply r;
      if (!rpc::decode_receive_reply(p, n, &r)) return;
      rpc::bytes b = rpc::encode_receive_reply(r);
      rpc::receive_reply back;
      check(rpc::decode_receive_reply(b.data(), b.size(), &back) && back.msg == r.msg &&
            back.result == r.result);
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  stubs(data[0], data + 1, size - 1);
  pdus(rpc::bytes(data + 1, data + size));
  return 0;
}
