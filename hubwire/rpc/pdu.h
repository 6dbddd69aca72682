// Connection-oriented RPC PDUs (protocol 5.0): the 16-byte common header and
// the bodies of bind, bind_ack, bind_nak, request, response and fault, as
// little-endian bytes. Encoders build complete PDUs; decoders take one whole
// PDU (header included, exactly frag_length bytes) and return false on any
// length or count that does not fit inside it.
#ifndef HUBWIRE_RPC_PDU_H_
#define HUBWIRE_RPC_PDU_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "hubwire/rpc/coding.h"

namespace rpc {

struct syntax_id {
  std::array<uint8_t, 16> uuid{};
  uint32_t version = 0;  // major in the low 16 bits, minor in the high 16 bits
  bool operator==(const syntax_id&) const = default;
};

// The dispatcher interface 2bf98e60-1866-4f76-bab2-bcbf69c94312 v1.0.
extern const syntax_id dispatcher_interface;
// NDR 8a885d04-1ceb-11c9-9fe8-08002b104860 v2.0.
extern const syntax_id ndr_syntax;

enum ptype : uint8_t {
  ptype_request = 0,
  ptype_response = 2,
  ptype_fault = 3,
  ptype_bind = 11,
  ptype_bind_ack = 12,
  ptype_bind_nak = 13,
  ptype_co_cancel = 18,
  ptype_orphaned = 19,
};

constexpr uint8_t pfc_first_frag = 0x01;
constexpr uint8_t pfc_last_frag = 0x02;
constexpr uint8_t pfc_conc_mpx = 0x10;
constexpr uint8_t pfc_did_not_execute = 0x20;
constexpr uint8_t pfc_maybe = 0x40;
constexpr uint8_t pfc_object_uuid = 0x80;

constexpr size_t header_size = 16;
constexpr size_t request_header_size = 24;  // also the response header
constexpr size_t fault_size = 32;
constexpr size_t min_fragment = 1432;       // every peer accepts this much
constexpr size_t proposed_fragment = 5840;  // what this project asks for
constexpr size_t max_stub = 4u << 20;       // largest reassembled stub

struct pdu_header {
  uint8_t rpc_vers = 5;
  uint8_t rpc_vers_minor = 0;
  uint8_t type = 0;
  uint8_t flags = pfc_first_frag | pfc_last_frag;
  std::array<uint8_t, 4> drep{0x10, 0, 0, 0};
  uint16_t frag_length = 0;
  uint16_t auth_length = 0;
  uint32_t call_id = 0;
};

// Reads the 16 header bytes at p (the caller has them all).
pdu_header decode_header(const uint8_t* p);
// True when version, minor version, data representation and auth_length are
// the ones this project accepts.
bool header_is_valid(const pdu_header& h);
// The smallest frag_length a PDU of this type can have.
size_t fixed_size(uint8_t type);

struct context_elem {
  uint16_t id = 0;
  syntax_id abstract;
  std::vector<syntax_id> transfer;
};

struct bind_body {
  uint16_t max_xmit = proposed_fragment;
  uint16_t max_recv = proposed_fragment;
  uint32_t group = 0;
  std::vector<context_elem> contexts;
};

struct bind_result {
  uint16_t result = 0;  // 0 accepted, 1 user rejection, 2 provider rejection
  uint16_t reason = 0;
  syntax_id transfer;  // zeroed when rejected
};

struct bind_ack_body {
  uint16_t max_xmit = 0;
  uint16_t max_recv = 0;
  uint32_t group = 0;
  std::string sec_addr;  // without its NUL; empty sends length 0
  std::vector<bind_result> results;
};

// A request, response or fault body; stub points into the decoded PDU.
struct call_body {
  uint32_t alloc_hint = 0;
  uint16_t cont_id = 0;
  uint16_t opnum = 0;   // requests only
  uint32_t status = 0;  // faults only
  const uint8_t* stub = nullptr;
  size_t stub_size = 0;
};

bytes encode_bind(uint32_t call_id, const bind_body& b);
bytes encode_bind_ack(uint32_t call_id, const bind_ack_body& b);
bytes encode_bind_nak(uint32_t call_id, uint16_t reason);
bytes encode_fault(uint32_t call_id, uint16_t cont_id, uint32_t status, bool did_not_execute);
// Splits a stub into request (or response) fragments of at most max_frag
// bytes; every fragment but the last carries a multiple of 8 stub bytes.
std::vector<bytes> encode_request(uint32_t call_id, uint16_t cont_id, uint16_t opnum,
                                  const bytes& stub, size_t max_frag);
std::vector<bytes> encode_response(uint32_t call_id, uint16_t cont_id, const bytes& stub,
                                   size_t max_frag);

enum class bind_error { none, overrun, no_contexts, no_transfer };
bind_error decode_bind(const bytes& pdu, bind_body* b);
bool decode_bind_ack(const bytes& pdu, bind_ack_body* b);
bool decode_bind_nak(const bytes& pdu, uint16_t* reason);
bool decode_request(const bytes& pdu, call_body* b);
bool decode_response(const bytes& pdu, call_body* b);
bool decode_fault(const bytes& pdu, call_body* b);

}  // namespace rpc

#endif  // HUBWIRE_RPC_PDU_H_
