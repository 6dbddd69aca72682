#include "hubwire/rpc/pdu.h"

#include <algorithm>

namespace rpc {

const syntax_id dispatcher_interface = {{0x60, 0x8e, 0xf9, 0x2b, 0x66, 0x18, 0x76, 0x4f, 0xba, 0xb2,
                                         0xbc, 0xbf, 0x69, 0xc9, 0x43, 0x12},
                                        1};
const syntax_id ndr_syntax = {{0x04, 0x5d, 0x88, 0x8a, 0xeb, 0x1c, 0xc9, 0x11, 0x9f, 0xe8, 0x08,
                               0x00, 0x2b, 0x10, 0x48, 0x60},
                              2};

namespace {

void put_header(bytes* dst, uint8_t type, uint8_t flags, uint32_t call_id) {
  put_u8(dst, 5);
  put_u8(dst, 0);
  put_u8(dst, type);
  put_u8(dst, flags);
  put_u32(dst, 0x10);
  put_u16(dst, 0);  // frag_length, set by finish()
  put_u16(dst, 0);
  put_u32(dst, call_id);
}

bytes finish(bytes pdu) {
  set_u16(&pdu, 8, static_cast<uint16_t>(pdu.size()));
  return pdu;
}

void put_syntax(bytes* dst, const syntax_id& s) {
  put_bytes(dst, s.uuid.data(), s.uuid.size());
  put_u32(dst, s.version);
}

bool read_syntax(byte_reader* r, syntax_id* s) {
  const uint8_t* p;
  if (!r->read_span(16, &p)) return false;
  std::copy(p, p + 16, s->uuid.begin());
  return r->read_u32(&s->version);
}

// A reader over the body of a PDU, positioned after the common header.
byte_reader body_reader(const bytes& pdu) {
  byte_reader r(pdu);
  r.skip(header_size);
  return r;
}

std::vector<bytes> encode_fragments(uint8_t type, uint32_t call_id, uint16_t cont_id,
                                    uint16_t opnum, const bytes& stub, size_t max_frag) {
  size_t chunk = ((std::min(max_frag, size_t{65535}) - request_header_size) & ~size_t{7});
  std::vector<bytes> out;
  size_t at = 0;
  do {
    size_t n = std::min(chunk, stub.size() - at);
    uint8_t flags = 0;
    if (at == 0) flags |= pfc_first_frag;
    if (at + n == stub.size()) flags |= pfc_last_frag;
    bytes pdu;
    pdu.reserve(request_header_size + n);
    put_header(&pdu, type, flags, call_id);
    put_u32(&pdu, static_cast<uint32_t>(stub.size() - at));
    put_u16(&pdu, cont_id);
    if (type == ptype_request) {
      put_u16(&pdu, opnum);
    } else {
      put_u16(&pdu, 0);  // cancel_count, reserved
    }
    put_bytes(&pdu, stub.data() + at, n);
    out.push_back(finish(std::move(pdu)));
    at += n;
  } while (at < stub.size());
  return out;
}

}  // namespace

pdu_header decode_header(const uint8_t* p) {
  pdu_header h;
  h.rpc_vers = p[0];
  h.rpc_vers_minor = p[1];
  h.type = p[2];
  h.flags = p[3];
  std::copy(p + 4, p + 8, h.drep.begin());
  h.frag_length = get_u16(p + 8);
  h.auth_length = get_u16(p + 10);
  h.call_id = get_u32(p + 12);
  return h;
}

bool header_is_valid(const pdu_header& h) {
  static constexpr std::array<uint8_t, 4> kDrep{0x10, 0, 0, 0};
  return h.rpc_vers == 5 && h.rpc_vers_minor <= 1 && h.drep == kDrep && h.auth_length == 0;
}

size_t fixed_size(uint8_t type) {
  switch (type) {
    case ptype_bind:
      return 28;
    case ptype_request:
    case ptype_response:
      return request_header_size;
    case ptype_fault:
      return fault_size;
    case ptype_bind_ack:
      return 32;
    case ptype_bind_nak:
      return 18;
    default:
      return header_size;
  }
}

bytes encode_bind(uint32_t call_id, const bind_body& b) {
  bytes pdu;
  put_header(&pdu, ptype_bind, pfc_first_frag | pfc_last_frag, call_id);
  put_u16(&pdu, b.max_xmit);
  put_u16(&pdu, b.max_recv);
  put_u32(&pdu, b.group);
  put_u8(&pdu, static_cast<uint8_t>(b.contexts.size()));
  put_u8(&pdu, 0);
  put_u16(&pdu, 0);
  for (const context_elem& c : b.contexts) {
    put_u16(&pdu, c.id);
    put_u8(&pdu, static_cast<uint8_t>(c.transfer.size()));
    put_u8(&pdu, 0);
    put_syntax(&pdu, c.abstract);
    for (const syntax_id& t : c.transfer) put_syntax(&pdu, t);
  }
  return finish(std::move(pdu));
}

bytes encode_bind_ack(uint32_t call_id, const bind_ack_body& b) {
  bytes pdu;
  put_header(&pdu, ptype_bind_ack, pfc_first_frag | pfc_last_frag, call_id);
  put_u16(&pdu, b.max_xmit);
  put_u16(&pdu, b.max_recv);
  put_u32(&pdu, b.group);
  put_u16(&pdu, static_cast<uint16_t>(b.sec_addr.empty() ? 0 : b.sec_addr.size() + 1));
  if (!b.sec_addr.empty()) {
    put_bytes(&pdu, reinterpret_cast<const uint8_t*>(b.sec_addr.data()), b.sec_addr.size());
    put_u8(&pdu, 0);
  }
  while (pdu.size() % 4 != 0) put_u8(&pdu, 0);
  put_u8(&pdu, static_cast<uint8_t>(b.results.size()));
  put_u8(&pdu, 0);
  put_u16(&pdu, 0);
  for (const bind_result& r : b.results) {
    put_u16(&pdu, r.result);
    put_u16(&pdu, r.reason);
    put_syntax(&pdu, r.transfer);
  }
  return finish(std::move(pdu));
}

bytes encode_bind_nak(uint32_t call_id, uint16_t reason) {
  bytes pdu;
  put_header(&pdu, ptype_bind_nak, pfc_first_frag | pfc_last_frag, call_id);
  put_u16(&pdu, reason);
  put_u8(&pdu, 1);  // one supported protocol: 5.0
  put_u8(&pdu, 5);
  put_u8(&pdu, 0);
  put_u8(&pdu, 0);
  put_u16(&pdu, 0);
  return finish(std::move(pdu));
}

bytes encode_fault(uint32_t call_id, uint16_t cont_id, uint32_t status, bool did_not_execute) {
  bytes pdu;
  uint8_t flags = pfc_first_frag | pfc_last_frag;
  if (did_not_execute) flags |= pfc_did_not_execute;
  put_header(&pdu, ptype_fault, flags, call_id);
  put_u32(&pdu, 0);  // alloc_hint
  put_u16(&pdu, cont_id);
  put_u16(&pdu, 0);  // cancel_count, reserved
  put_u32(&pdu, status);
  put_u32(&pdu, 0);
  return finish(std::move(pdu));
}

std::vector<bytes> encode_request(uint32_t call_id, uint16_t cont_id, uint16_t opnum,
                                  const bytes& stub, size_t max_frag) {
  return encode_fragments(ptype_request, call_id, cont_id, opnum, stub, max_frag);
}

std::vector<bytes> encode_response(uint32_t call_id, uint16_t cont_id, const bytes& stub,
                                   size_t max_frag) {
  return encode_fragments(ptype_response, call_id, cont_id, 0, stub, max_frag);
}

bind_error decode_bind(const bytes& pdu, bind_body* b) {
  byte_reader r = body_reader(pdu);
  uint8_t count, reserved8;
  uint16_t reserved16;
  if (!r.read_u16(&b->max_xmit) || !r.read_u16(&b->max_recv) || !r.read_u32(&b->group) ||
      !r.read_u8(&count) || !r.read_u8(&reserved8) || !r.read_u16(&reserved16)) {
    return bind_error::overrun;
  }
  if (count == 0) return bind_error::no_contexts;
  b->contexts.clear();
  for (int i = 0; i < count; ++i) {
    context_elem c;
    uint8_t n_transfer;
    if (!r.read_u16(&c.id) || !r.read_u8(&n_transfer) || !r.read_u8(&reserved8) ||
        !read_syntax(&r, &c.abstract)) {
      return bind_error::overrun;
    }
    if (n_transfer == 0) return bind_error::no_transfer;
    for (int k = 0; k < n_transfer; ++k) {
      syntax_id t;
      if (!read_syntax(&r, &t)) return bind_error::overrun;
      c.transfer.push_back(t);
    }
    b->contexts.push_back(std::move(c));
  }
  return bind_error::none;
}

bool decode_bind_ack(const bytes& pdu, bind_ack_body* b) {
  byte_reader r = body_reader(pdu);
  uint16_t sec_len;
  if (!r.read_u16(&b->max_xmit) || !r.read_u16(&b->max_recv) || !r.read_u32(&b->group) ||
      !r.read_u16(&sec_len)) {
    return false;
  }
  const uint8_t* sec;
  if (!r.read_span(sec_len, &sec)) return false;
  b->sec_addr.assign(reinterpret_cast<const char*>(sec), sec_len);
  if (!b->sec_addr.empty() && b->sec_addr.back() == '\0') b->sec_addr.pop_back();
  uint8_t count, reserved8;
  uint16_t reserved16;
  if (!r.align(4) || !r.read_u8(&count) || !r.read_u8(&reserved8) || !r.read_u16(&reserved16)) {
    return false;
  }
  b->results.clear();
  for (int i = 0; i < count; ++i) {
    bind_result res;
    if (!r.read_u16(&res.result) || !r.read_u16(&res.reason) || !read_syntax(&r, &res.transfer)) {
      return false;
    }
    b->results.push_back(res);
  }
  return true;
}

bool decode_bind_nak(const bytes& pdu, uint16_t* reason) {
  byte_reader r = body_reader(pdu);
  return r.read_u16(reason);  // anything after the reason is ignored
}

bool decode_request(const bytes& pdu, call_body* b) {
  if (pdu.size() < request_header_size) return false;
  byte_reader r = body_reader(pdu);
  r.read_u32(&b->alloc_hint);
  r.read_u16(&b->cont_id);
  r.read_u16(&b->opnum);
  // An object UUID is skipped: this interface has no objects.
  if ((pdu[3] & pfc_object_uuid) != 0 && !r.skip(16)) return false;
  b->stub = pdu.data() + r.position();
  b->stub_size = r.remaining();
  return true;
}

bool decode_response(const bytes& pdu, call_body* b) {
  if (pdu.size() < request_header_size) return false;
  byte_reader r = body_reader(pdu);
  r.read_u32(&b->alloc_hint);
  r.read_u16(&b->cont_id);
  b->stub = pdu.data() + request_header_size;
  b->stub_size = pdu.size() - request_header_size;
  return true;
}

bool decode_fault(const bytes& pdu, call_body* b) {
  if (pdu.size() < fault_size) return false;
  byte_reader r = body_reader(pdu);
  r.read_u32(&b->alloc_hint);
  r.read_u16(&b->cont_id);
  r.skip(2);
  r.read_u32(&b->status);  // bytes after the fault body are ignored
  return true;
}

}  // namespace rpc
