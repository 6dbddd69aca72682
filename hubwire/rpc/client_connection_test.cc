#include "hubwire/rpc/client_connection.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

#include "hubwire/platform/unix_stream.h"
#include "hubwire/rpc/binding.h"
#include "hubwire/rpc/dispatcher_proxy.h"
#include "hubwire/testing.h"

using testing_util::hex;

namespace rpc {
namespace {

const char kGoodAck[] =
    "05 00 0c 03 10 00 00 00 40 00 00 00 01 00 00 00"
    "d0 16 d0 16 b2 a1 00 00 08 00 64 73 70 49 66 45"
    "70 00 00 00 01 00 00 00 00 00 00 00 04 5d 88 8a"
    "eb 1c c9 11 9f e8 08 00 2b 10 48 60 02 00 00 00";

bytes good_ack() { return hex(kGoodAck); }

bytes prefix(const bytes& b, size_t n) { return bytes(b.begin(), b.begin() + n); }

bytes with(bytes b, size_t at, uint8_t v) {
  b[at] = v;
  return b;
}

// The server end of a socket pair: for each step it reads one PDU from the
// client, then writes the step's bytes, then closes when told to.
struct step {
  bytes reply;
  bool close_after = false;
};

class scripted_peer {
 public:
  explicit scripted_peer(std::vector<step> steps) {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    client_ = platform::adopt_socket(fds[0]);
    server_ = platform::adopt_socket(fds[1]);
    thread_ = std::thread([this, steps = std::move(steps)] {
      for (const step& s : steps) {
        raw_pdu pdu;
        // Multi-fragment requests: read until the last fragment.
        do {
          if (read_pdu(server_.get(), 1 << 16, &pdu) != read_status::ok) return;
          received_.push_back(pdu.header.type);
        } while ((pdu.header.flags & pfc_last_frag) == 0);
        if (!s.reply.empty()) server_->write_all(s.reply.data(), s.reply.size());
        if (s.close_after) {
          server_->shutdown();
          return;
        }
      }
    });
  }
  ~scripted_peer() {
    server_->shutdown();
    thread_.join();
  }
  std::unique_ptr<byte_stream> take_client() { return std::move(client_); }
  const std::vector<uint8_t>& received() const { return received_; }

 private:
  std::unique_ptr<byte_stream> client_;
  std::unique_ptr<byte_stream> server_;
  std::vector<uint8_t> received_;
  std::thread thread_;
};

TEST(client_connection, bind_replies) {
  bind_ack_body low;
  low.max_xmit = low.max_recv = 1024;
  low.group = 5;
  low.results.push_back({0, 0, ndr_syntax});
  bind_ack_body zero_group = low;
  zero_group.max_xmit = zero_group.max_recv = 5840;
  zero_group.group = 0;
  bind_ack_body two_results = zero_group;
  two_results.group = 9;
  two_results.results.push_back({0, 0, ndr_syntax});

  struct {
    const char* what;
    step reply;
    call_status want;
  } cases[] = {
      {"accepted", {good_ack()}, status_ok},
      {"closed at once", {{}, true}, rpc_s_call_failed},
      {"cut inside the header", {prefix(good_ack(), 10), true}, rpc_s_call_failed},
      {"cut inside the body", {prefix(good_ack(), 40), true}, rpc_s_call_failed},
      {"frag_length below 16", {with(good_ack(), 8, 12)}, rpc_s_protocol_error},
      {"frag_length below a bind_ack", {with(with(good_ack(), 8, 20), 9, 0)}, rpc_s_protocol_error},
      {"frag_length above the limit", {with(good_ack(), 9, 0x17)}, rpc_s_protocol_error},
      {"version 4", {with(good_ack(), 0, 4)}, rpc_s_protocol_error},
      {"big-endian data", {with(good_ack(), 4, 0)}, rpc_s_protocol_error},
      {"auth_length", {with(good_ack(), 10, 8)}, rpc_s_protocol_error},
      {"a response instead", {with(good_ack(), 2, ptype_response)}, rpc_s_protocol_error},
      {"another call id", {with(good_ack(), 12, 2)}, rpc_s_protocol_error},
      {"bind_nak", {encode_bind_nak(1, 4)}, rpc_s_protocol_error},
      {"bind_nak with a trailer",
       {[] {
         bytes b = encode_bind_nak(1, 0);
         b.insert(b.end(), 16, 0xab);
         set_u16(&b, 8, static_cast<uint16_t>(b.size()));
         return b;
       }()},
       rpc_s_protocol_error},
      {"unknown interface",
       {[] {
         bind_ack_body a;
         a.max_xmit = a.max_recv = 5840;
         a.group = 1;
         a.results.push_back({2, 1, {}});
         return encode_bind_ack(1, a);
       }()},
       rpc_s_unknown_if},
      {"no transfer syntax",
       {[] {
         bind_ack_body a;
         a.max_xmit = a.max_recv = 5840;
         a.group = 1;
         a.results.push_back({2, 2, {}});
         return encode_bind_ack(1, a);
       }()},
       rpc_s_unsupported_trans_syn},
      {"limits below 1432", {encode_bind_ack(1, low)}, rpc_s_protocol_error},
      {"group 0", {encode_bind_ack(1, zero_group)}, rpc_s_protocol_error},
      {"two results for one context", {encode_bind_ack(1, two_results)}, rpc_s_protocol_error},
      {"secondary address overruns", {with(good_ack(), 24, 0x40)}, rpc_s_protocol_error},
      {"results overrun", {with(good_ack(), 36, 3)}, rpc_s_protocol_error},
  };
  for (auto& c : cases) {
    scripted_peer peer({c.reply});
    client_connection conn(peer.take_client());
    EXPECT_EQ(conn.bind(0), c.want) << c.what;
    if (c.want == status_ok) {
      EXPECT_EQ(conn.group(), 0xa1b2u);
    } else {
      EXPECT_TRUE(conn.broken()) << c.what;
    }
  }
}

bytes response(uint32_t call_id, const bytes& stub, uint8_t flags = 0x03) {
  bytes pdu = encode_response(call_id, 0, stub, 65535)[0];
  pdu[3] = flags;
  return pdu;
}

bytes joined(std::initializer_list<bytes> parts) {
  bytes out;
  for (const bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(client_connection, call_replies) {
  const bytes stub = {1, 0, 0, 0, 2, 0, 0, 0};
  bytes fault_extra = encode_fault(2, 0, nca_op_rng_error, true);
  fault_extra.insert(fault_extra.end(), 8, 0xcc);
  set_u16(&fault_extra, 8, static_cast<uint16_t>(fault_extra.size()));
  bytes too_big(max_stub + 8, 0);

  struct {
    const char* what;
    step reply;
    call_status want;
    bool usable_after;
  } cases[] = {
      {"response", {response(2, stub)}, status_ok, true},
      {"two fragments",
       {joined({response(2, {1, 0, 0, 0}, 0x01), response(2, {2, 0, 0, 0}, 0x02)})},
       status_ok,
       true},
      {"opnum out of range",
       {encode_fault(2, 0, nca_op_rng_error, true)},
       rpc_s_procnum_out_of_range,
       true},
      {"bad stub", {encode_fault(2, 0, fault_bad_stub_data, true)}, rpc_x_bad_stub_data, true},
      {"unknown interface", {encode_fault(2, 0, nca_unk_if, true)}, rpc_s_unknown_if, true},
      {"context mismatch",
       {encode_fault(2, 0, nca_context_mismatch, true)},
       nca_context_mismatch,
       true},
      {"fault with extra bytes", {fault_extra}, rpc_s_procnum_out_of_range, true},
      {"protocol error", {encode_fault(2, 0, nca_proto_error, true)}, rpc_s_protocol_error, false},
      {"some other status", {encode_fault(2, 0, 0x1234, false)}, 0x1234, true},
      {"connection closed", {{}, true}, rpc_s_call_failed, false},
      {"cut inside a response", {prefix(response(2, stub), 20), true}, rpc_s_call_failed, false},
      {"another call id", {response(3, stub)}, rpc_s_protocol_error, false},
      {"a bind_ack", {with(good_ack(), 12, 2)}, rpc_s_protocol_error, false},
      {"a request", {with(response(2, stub), 2, ptype_request)}, rpc_s_protocol_error, false},
      {"frag_length below a response",
       {with(response(2, stub), 8, 20)},
       rpc_s_protocol_error,
       false},
      {"fault too short", {with(encode_fault(2, 0, 5, true), 8, 28)}, rpc_s_protocol_error, false},
      {"frag_length above the limit",
       {with(with(response(2, stub), 8, 0xd1), 9, 0x16)},
       rpc_s_protocol_error,
       false},
      {"first fragment without FIRST", {response(2, stub, 0x02)}, rpc_s_protocol_error, false},
      {"new FIRST while reassembling",
       {joined({response(2, stub, 0x01), response(2, stub, 0x03)})},
       rpc_s_protocol_error,
       false},
      {"fault after a fragment",
       {joined({response(2, stub, 0x01), encode_fault(2, 0, 5, true)})},
       rpc_s_protocol_error,
       false},
      {"stub above 4 MiB",
       {[&] {
         bytes all;
         for (const bytes& f : encode_response(2, 0, too_big, 5840)) {
           all.insert(all.end(), f.begin(), f.end());
         }
         return all;
       }()},
       rpc_s_protocol_error,
       false},
  };
  for (auto& c : cases) {
    scripted_peer peer({{good_ack()}, c.reply, {response(3, stub)}});
    client_connection conn(peer.take_client());
    ASSERT_EQ(conn.bind(0), status_ok) << c.what;
    bytes reply;
    EXPECT_EQ(conn.call(1, {9, 9, 9, 9}, &reply, 5000), c.want) << c.what;
    EXPECT_EQ(!conn.broken(), c.usable_after) << c.what;
    if (c.usable_after) {
      EXPECT_EQ(conn.call(1, {}, &reply, 5000), status_ok) << c.what << ": next call";
      EXPECT_EQ(reply, stub) << c.what;
    }
  }
}

TEST(client_connection, large_request_goes_in_fragments) {
  scripted_peer peer({{good_ack()}, {response(2, {0, 0, 0, 0})}});
  client_connection conn(peer.take_client());
  ASSERT_EQ(conn.bind(0), status_ok);
  bytes reply;
  EXPECT_EQ(conn.call(1, bytes(20000, 1), &reply, 5000), status_ok);
}

// Replies whose stub does not decode are refused by the proxy.
TEST(dispatcher_proxy, malformed_reply_stubs) {
  context_handle ctx{};
  ctx[4] = 1;
  struct {
    const char* what;
    bytes stub;
    call_status want;
  } cases[] = {
      {"good, null texts",
       encode_receive_reply({{std::nullopt, std::nullopt, 1, 2, std::nullopt, 3}, 0}), status_ok},
      {"truncated", {0, 0, 2, 0}, rpc_x_bad_stub_data},
      {"left over", joined({encode_receive_reply({{}, 0}), {0, 0, 0, 0}}), rpc_x_bad_stub_data},
      {"string offset",
       hex("00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
           "02 00 00 00 01 00 00 00 02 00 00 00 41 00 00 00 00 00 00 00"),
       rpc_x_bad_stub_data},
      {"no terminator",
       hex("00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"
           "02 00 00 00 00 00 00 00 02 00 00 00 41 00 42 00 00 00 00 00"),
       rpc_x_bad_stub_data},
  };
  for (auto& c : cases) {
    auto peer =
        std::make_shared<scripted_peer>(std::vector<step>{{good_ack()}, {response(2, c.stub)}});
    binding b([] { return nullptr; }, peer->take_client());
    dispatcher_message m;
    int32_t result = -5;
    EXPECT_EQ(receive_message(&b, ctx, &m, &result), c.want) << c.what;
  }
}

TEST(dispatcher_proxy, null_arguments_are_refused_before_sending) {
  scripted_peer peer({});
  binding b([] { return nullptr; }, peer.take_client());
  context_handle null_ctx{};
  context_handle ctx{};
  ctx[0] = 1;
  int32_t serial = 0, result = 0;
  std::u16string text = u"x";
  dispatcher_message m;
  EXPECT_EQ(send_message(&b, null_ctx, &text, &text, 0, 0, std::nullopt, &serial, &result),
            rpc_x_ss_in_null_context);
  EXPECT_EQ(send_message(&b, ctx, nullptr, &text, 0, 0, std::nullopt, &serial, &result),
            rpc_x_null_ref_pointer);
  EXPECT_EQ(receive_message(&b, null_ctx, &m, &result), rpc_x_ss_in_null_context);
  EXPECT_EQ(add_name(&b, ctx, nullptr, &result), rpc_x_null_ref_pointer);
  EXPECT_EQ(disconnect_client(&b, &null_ctx, &result), rpc_x_ss_in_null_context);
  context_handle out{};
  EXPECT_EQ(connect_client(&b, nullptr, std::nullopt, 1, &out, &result), rpc_x_null_ref_pointer);
  EXPECT_TRUE(peer.received().empty());
}

TEST(binding, nothing_listening_fails_the_call) {
  binding b([] { return nullptr; });
  bytes reply;
  EXPECT_EQ(b.call(0, {}, &reply), rpc_s_server_unavailable);
}

}  // namespace
}  // namespace rpc
