#include "hubwire/rpc/pdu.h"

#include <gtest/gtest.h>

#include "hubwire/testing.h"

using testing_util::hex;
using testing_util::to_hex;

namespace rpc {
namespace {

// The worked bytes of the wire reference.
const char kBind[] =
    "05 00 0b 03 10 00 00 00 48 00 00 00 01 00 00 00"
    "d0 16 d0 16 00 00 00 00 01 00 00 00 00 00 01 00"
    "60 8e f9 2b 66 18 76 4f ba b2 bc bf 69 c9 43 12"
    "01 00 00 00 04 5d 88 8a eb 1c c9 11 9f e8 08 00"
    "2b 10 48 60 02 00 00 00";
const char kBindAck[] =
    "05 00 0c 03 10 00 00 00 40 00 00 00 01 00 00 00"
    "d0 16 d0 16 b2 a1 00 00 08 00 64 73 70 49 66 45"
    "70 00 00 00 01 00 00 00 00 00 00 00 04 5d 88 8a"
    "eb 1c c9 11 9f e8 08 00 2b 10 48 60 02 00 00 00";
const char kBindAckRejected[] =
    "05 00 0c 03 10 00 00 00 40 00 00 00 01 00 00 00"
    "d0 16 d0 16 b2 a1 00 00 08 00 64 73 70 49 66 45"
    "70 00 00 00 01 00 00 00 02 00 01 00 00 00 00 00"
    "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00";
const char kBindNak[] =
    "05 00 0d 03 10 00 00 00 18 00 00 00 01 00 00 00"
    "04 00 01 05 00 00 00 00";
const char kFaultOpRange[] =
    "05 00 03 23 10 00 00 00 20 00 00 00 07 00 00 00"
    "00 00 00 00 00 00 00 00 02 00 01 1c 00 00 00 00";
const char kConnectRequestPdu[] =
    "05 00 00 03 10 00 00 00 58 00 00 00 02 00 00 00"
    "40 00 00 00 00 00 00 00 08 00 00 00 00 00 00 00"
    "08 00 00 00 61 00 40 00 62 00 3a 00 63 00 2e 00"
    "31 00 00 00 00 00 02 00 08 00 00 00 00 00 00 00"
    "08 00 00 00 6d 00 73 00 67 00 50 00 6f 00 73 00"
    "74 00 00 00 d2 04 00 00";
const char kConnectResponsePdu[] =
    "05 00 02 03 10 00 00 00 30 00 00 00 02 00 00 00"
    "18 00 00 00 00 00 00 00 00 00 00 00 44 33 22 11"
    "66 55 88 77 99 aa bb cc dd ee ff 00 00 00 00 00";

bind_body client_bind() {
  bind_body b;
  b.contexts.push_back({0, dispatcher_interface, {ndr_syntax}});
  return b;
}

TEST(pdu, bind_matches_worked_bytes) {
  EXPECT_EQ(to_hex(encode_bind(1, client_bind())), to_hex(hex(kBind)));
}

TEST(pdu, bind_round_trips) {
  bind_body b;
  ASSERT_EQ(decode_bind(hex(kBind), &b), bind_error::none);
  EXPECT_EQ(b.max_xmit, 5840);
  EXPECT_EQ(b.max_recv, 5840);
  EXPECT_EQ(b.group, 0u);
  ASSERT_EQ(b.contexts.size(), 1u);
  EXPECT_EQ(b.contexts[0].abstract, dispatcher_interface);
  ASSERT_EQ(b.contexts[0].transfer.size(), 1u);
  EXPECT_EQ(b.contexts[0].transfer[0], ndr_syntax);
}

TEST(pdu, bind_ack_matches_worked_bytes) {
  bind_ack_body ack;
  ack.max_xmit = ack.max_recv = 5840;
  ack.group = 0xa1b2;
  ack.sec_addr = "dspIfEp";
  ack.results.push_back({0, 0, ndr_syntax});
  EXPECT_EQ(to_hex(encode_bind_ack(1, ack)), to_hex(hex(kBindAck)));
  ack.results[0] = {2, 1, {}};
  EXPECT_EQ(to_hex(encode_bind_ack(1, ack)), to_hex(hex(kBindAckRejected)));
}

TEST(pdu, bind_ack_decodes) {
  bind_ack_body ack;
  ASSERT_TRUE(decode_bind_ack(hex(kBindAck), &ack));
  EXPECT_EQ(ack.group, 0xa1b2u);
  EXPECT_EQ(ack.sec_addr, "dspIfEp");
  ASSERT_EQ(ack.results.size(), 1u);
  EXPECT_EQ(ack.results[0].result, 0);
  EXPECT_EQ(ack.results[0].transfer, ndr_syntax);
}

TEST(pdu, bind_ack_without_secondary_address) {
  bind_ack_body ack;
  ack.max_xmit = ack.max_recv = 1432;
  ack.group = 7;
  ack.results.push_back({0, 0, ndr_syntax});
  bytes pdu = encode_bind_ack(3, ack);
  EXPECT_EQ(pdu.size(), 28u + 4u + 24u);
  bind_ack_body back;
  ASSERT_TRUE(decode_bind_ack(pdu, &back));
  EXPECT_EQ(back.sec_addr, "");
  EXPECT_EQ(back.group, 7u);
}

TEST(pdu, bind_ack_counts_that_overrun_fail) {
  bytes pdu = hex(kBindAck);
  bytes long_addr = pdu;
  long_addr[24] = 0xff;  // sec_addr.length past the end
  bytes many_results = pdu;
  many_results[36] = 2;  // two results, one present
  bind_ack_body ack;
  EXPECT_FALSE(decode_bind_ack(long_addr, &ack));
  EXPECT_FALSE(decode_bind_ack(many_results, &ack));
  for (size_t n = header_size; n < pdu.size(); ++n) {
    bytes cut(pdu.begin(), pdu.begin() + n);
    EXPECT_FALSE(decode_bind_ack(cut, &ack)) << "cut at " << n;
  }
}

TEST(pdu, bind_nak_and_fault_match_worked_bytes) {
  EXPECT_EQ(to_hex(encode_bind_nak(1, 4)), to_hex(hex(kBindNak)));
  EXPECT_EQ(to_hex(encode_fault(7, 0, 0x1c010002, true)), to_hex(hex(kFaultOpRange)));
  uint16_t reason = 0;
  ASSERT_TRUE(decode_bind_nak(hex(kBindNak), &reason));
  EXPECT_EQ(reason, 4);
  call_body f;
  ASSERT_TRUE(decode_fault(hex(kFaultOpRange), &f));
  EXPECT_EQ(f.status, 0x1c010002u);
}

TEST(pdu, fault_with_extra_bytes_keeps_its_status) {
  bytes pdu = hex(kFaultOpRange);
  pdu.insert(pdu.end(), {1, 2, 3, 4, 5});
  call_body f;
  ASSERT_TRUE(decode_fault(pdu, &f));
  EXPECT_EQ(f.status, 0x1c010002u);
}

TEST(pdu, request_and_response_match_worked_bytes) {
  bytes req = hex(kConnectRequestPdu);
  bytes stub(req.begin() + 24, req.end());
  auto frags = encode_request(2, 0, 0, stub, 5840);
  ASSERT_EQ(frags.size(), 1u);
  EXPECT_EQ(to_hex(frags[0]), to_hex(req));

  bytes resp = hex(kConnectResponsePdu);
  auto rfrags = encode_response(2, 0, bytes(resp.begin() + 24, resp.end()), 5840);
  ASSERT_EQ(rfrags.size(), 1u);
  EXPECT_EQ(to_hex(rfrags[0]), to_hex(resp));

  call_body body;
  ASSERT_TRUE(decode_request(req, &body));
  EXPECT_EQ(body.opnum, 0);
  EXPECT_EQ(body.alloc_hint, 64u);
  EXPECT_EQ(bytes(body.stub, body.stub + body.stub_size), stub);
}

TEST(pdu, request_with_object_uuid_skips_it) {
  bytes req = hex(kConnectRequestPdu);
  bytes stub(req.begin() + 24, req.end());
  req[3] |= pfc_object_uuid;
  req.insert(req.begin() + 24, 16, 0xee);
  call_body body;
  ASSERT_TRUE(decode_request(req, &body));
  EXPECT_EQ(bytes(body.stub, body.stub + body.stub_size), stub);
  req.resize(30);  // flag set, UUID cut short
  EXPECT_FALSE(decode_request(req, &body));
}

TEST(pdu, fragments_follow_the_worked_split) {
  bytes stub(12000);
  for (size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<uint8_t>(i * 7);
  auto frags = encode_request(5, 0, 1, stub, 5840);
  ASSERT_EQ(frags.size(), 3u);
  struct {
    uint8_t flags;
    size_t length;
    uint32_t alloc_hint;
  } want[] = {{0x01, 5840, 12000}, {0x00, 5840, 6184}, {0x02, 392, 368}};
  bytes joined;
  for (size_t i = 0; i < 3; ++i) {
    pdu_header h = decode_header(frags[i].data());
    EXPECT_EQ(h.flags, want[i].flags) << "fragment " << i;
    EXPECT_EQ(h.frag_length, want[i].length) << "fragment " << i;
    EXPECT_EQ(frags[i].size(), want[i].length) << "fragment " << i;
    call_body b;
    ASSERT_TRUE(decode_request(frags[i], &b));
    EXPECT_EQ(b.alloc_hint, want[i].alloc_hint) << "fragment " << i;
    EXPECT_EQ(b.opnum, 1);
    joined.insert(joined.end(), b.stub, b.stub + b.stub_size);
  }
  EXPECT_EQ(joined, stub);
}

TEST(pdu, fragment_stubs_are_multiples_of_eight_at_any_limit) {
  bytes stub(5000, 0x5a);
  for (size_t limit : {1432u, 1433u, 1500u, 2047u, 5840u}) {
    auto frags = encode_response(9, 0, stub, limit);
    size_t total = 0;
    for (size_t i = 0; i < frags.size(); ++i) {
      EXPECT_LE(frags[i].size(), limit) << "limit " << limit;
      size_t n = frags[i].size() - 24;
      if (i + 1 < frags.size()) {
        EXPECT_EQ(n % 8, 0u) << "limit " << limit << " fragment " << i;
      }
      total += n;
    }
    EXPECT_EQ(total, stub.size()) << "limit " << limit;
  }
}

TEST(pdu, empty_stub_is_one_fragment) {
  auto frags = encode_request(2, 0, 4, {}, 5840);
  ASSERT_EQ(frags.size(), 1u);
  EXPECT_EQ(frags[0].size(), 24u);
  EXPECT_EQ(frags[0][3], 0x03);
}

TEST(pdu, header_checks) {
  struct {
    const char* what;
    size_t at;
    uint8_t value;
    bool valid;
  } cases[] = {
      {"as sent", 0, 5, true},
      {"version 4", 0, 4, false},
      {"minor 1", 1, 1, true},
      {"minor 2", 1, 2, false},
      {"big-endian drep", 4, 0x00, false},
      {"drep byte 1", 5, 1, false},
      {"auth_length", 10, 8, false},
  };
  for (const auto& c : cases) {
    bytes pdu = hex(kBind);
    pdu[c.at] = c.value;
    EXPECT_EQ(header_is_valid(decode_header(pdu.data())), c.valid) << c.what;
  }
}

TEST(pdu, bind_decoder_refuses_bad_lists) {
  bytes pdu = hex(kBind);
  bind_body b;
  bytes none = pdu;
  none[24] = 0;
  EXPECT_EQ(decode_bind(none, &b), bind_error::no_contexts);
  bytes no_transfer = pdu;
  no_transfer[30] = 0;
  EXPECT_EQ(decode_bind(no_transfer, &b), bind_error::no_transfer);
  bytes two = pdu;
  two[24] = 2;
  EXPECT_EQ(decode_bind(two, &b), bind_error::overrun);
  for (size_t n = header_size; n < pdu.size(); ++n) {
    EXPECT_EQ(decode_bind(bytes(pdu.begin(), pdu.begin() + n), &b), bind_error::overrun)
        << "cut at " << n;
  }
}

}  // namespace
}  // namespace rpc
