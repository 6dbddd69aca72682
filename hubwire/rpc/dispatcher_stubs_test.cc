#include "hubwire/rpc/dispatcher_stubs.h"

#include <gtest/gtest.h>

#include <functional>

#include "hubwire/testing.h"

using testing_util::hex;
using testing_util::to_hex;

namespace rpc {
namespace {

const char kCtx[] = "00 00 00 00 44 33 22 11 66 55 88 77 99 aa bb cc dd ee ff 00";

context_handle sample_ctx() {
  bytes b = hex(kCtx);
  context_handle h;
  std::copy(b.begin(), b.end(), h.begin());
  return h;
}

const char kConnectStub[] =
    "08 00 00 00 00 00 00 00 08 00 00 00 61 00 40 00 62 00 3a 00 63 00 2e 00 31 00 00 00"
    "00 00 02 00 08 00 00 00 00 00 00 00 08 00 00 00"
    "6d 00 73 00 67 00 50 00 6f 00 73 00 74 00 00 00 d2 04 00 00";
const char kConnectStubNullName[] =
    "08 00 00 00 00 00 00 00 08 00 00 00 61 00 40 00 62 00 3a 00 63 00 2e 00 31 00 00 00"
    "00 00 00 00 d2 04 00 00";
const char kSendStub[] =
    "00 00 00 00 44 33 22 11 66 55 88 77 99 aa bb cc"
    "dd ee ff 00 04 00 00 00 00 00 00 00 04 00 00 00"
    "73 00 76 00 63 00 00 00 05 00 00 00 00 00 00 00"
    "05 00 00 00 50 00 69 00 6e 00 67 00 00 00 00 00"
    "01 00 00 00 fe ff ff ff 00 00 00 00 00 00 00 00";
const char kSendStubX[] =
    "00 00 00 00 44 33 22 11 66 55 88 77 99 aa bb cc"
    "dd ee ff 00 04 00 00 00 00 00 00 00 04 00 00 00"
    "73 00 76 00 63 00 00 00 05 00 00 00 00 00 00 00"
    "05 00 00 00 50 00 69 00 6e 00 67 00 00 00 00 00"
    "01 00 00 00 fe ff ff ff 00 00 02 00 02 00 00 00"
    "00 00 00 00 02 00 00 00 78 00 00 00 00 00 00 00";
const char kNameStub[] =
    "00 00 00 00 44 33 22 11 66 55 88 77 99 aa bb cc"
    "dd ee ff 00 04 00 00 00 00 00 00 00 04 00 00 00"
    "73 00 76 00 63 00 00 00";
const char kReceiveReply[] =
    "00 00 02 00 04 00 02 00 07 00 00 00 08 00 00 00"
    "00 00 00 00 2a 00 00 00 09 00 00 00 00 00 00 00"
    "09 00 00 00 72 00 40 00 68 00 3a 00 75 00 2e 00"
    "37 00 37 00 00 00 00 00 05 00 00 00 00 00 00 00"
    "05 00 00 00 50 00 6f 00 6e 00 67 00 00 00 00 00"
    "00 00 00 00";
const char kReceiveReplyX[] =
    "00 00 02 00 04 00 02 00 07 00 00 00 08 00 00 00"
    "08 00 02 00 2a 00 00 00 09 00 00 00 00 00 00 00"
    "09 00 00 00 72 00 40 00 68 00 3a 00 75 00 2e 00"
    "37 00 37 00 00 00 00 00 05 00 00 00 00 00 00 00"
    "05 00 00 00 50 00 6f 00 6e 00 67 00 00 00 00 00"
    "02 00 00 00 00 00 00 00 02 00 00 00 78 00 00 00"
    "00 00 00 00";
const char kSmallReceiveReply[] =
    "00 00 02 00 00 00 00 00 01 00 00 00 02 00 00 00 00 00 00 00 03 00 00 00"
    "02 00 00 00 00 00 00 00 02 00 00 00 41 00 00 00 00 00 00 00";

send_request sample_send(opt_text sparam) {
  return {sample_ctx(), u"svc", u"Ping", 1, -2, std::move(sparam), 0};
}

dispatcher_message pong(opt_text sparam) {
  return {u"r@h:u.77", u"Pong", 7, 8, std::move(sparam), 42};
}

// One stub with its encoder's output and a decoder that must accept it.
struct vector_case {
  const char* what;
  const char* wire;
  std::function<bytes()> encode;
  std::function<bool(const uint8_t*, size_t)> decode_and_check;
};

std::vector<vector_case> vector_cases() {
  return {
      {"connect request", kConnectStub,
       [] {
         return encode_connect_request({u"a@b:c.1", u"msgPost", 1234});
       },
       [](const uint8_t* p, size_t n) {
         connect_request r;
         return decode_connect_request(p, n, &r) && r.identity == u"a@b:c.1" &&
                r.name == u"msgPost" && r.process_id == 1234;
       }},
      {"connect request, null name", kConnectStubNullName,
       [] {
         return encode_connect_request({u"a@b:c.1", std::nullopt, 1234});
       },
       [](const uint8_t* p, size_t n) {
         connect_request r;
         return decode_connect_request(p, n, &r) && !r.name && r.process_id == 1234;
       }},
      {"connect reply", "00 00 00 00 44 33 22 11 66 55 88 77 99 aa bb cc dd ee ff 00 00 00 00 00",
       [] {
         return encode_context_reply({sample_ctx(), 0});
       },
       [](const uint8_t* p, size_t n) {
         context_reply r;
         return decode_context_reply(p, n, &r) && r.ctx == sample_ctx() && r.result == 0;
       }},
      {"send request", kSendStub, [] { return encode_send_request(sample_send(std::nullopt)); },
       [](const uint8_t* p, size_t n) {
         send_request r;
         return decode_send_request(p, n, &r) && r.ctx == sample_ctx() && r.to_id == u"svc" &&
                r.msg_id == u"Ping" && r.iparam1 == 1 && r.iparam2 == -2 && !r.sparam &&
                r.serial == 0;
       }},
      {"send request, sParam x", kSendStubX, [] { return encode_send_request(sample_send(u"x")); },
       [](const uint8_t* p, size_t n) {
         send_request r;
         return decode_send_request(p, n, &r) && r.sparam == u"x";
       }},
      {"send reply", "2a 00 00 00 00 00 00 00",
       [] {
         return encode_send_reply({42, 0});
       },
       [](const uint8_t* p, size_t n) {
         send_reply r;
         return decode_send_reply(p, n, &r) && r.serial == 42 && r.result == 0;
       }},
      {"op3 request", kNameStub,
       [] {
         return encode_name_request({sample_ctx(), u"svc"});
       },
       [](const uint8_t* p, size_t n) {
         name_request r;
         return decode_name_request(p, n, &r) && r.name == u"svc";
       }},
      {"op2/op3 reply", "00 00 00 00", [] { return encode_result_reply(0); },
       [](const uint8_t* p, size_t n) {
         int32_t r = 1;
         return decode_result_reply(p, n, &r) && r == 0;
       }},
      {"receive request", kCtx, [] { return encode_context_request({sample_ctx()}); },
       [](const uint8_t* p, size_t n) {
         context_request r;
         return decode_context_request(p, n, &r) && r.ctx == sample_ctx();
       }},
      {"receive reply", kReceiveReply,
       [] {
         return encode_receive_reply({pong(std::nullopt), 0});
       },
       [](const uint8_t* p, size_t n) {
         receive_reply r;
         return decode_receive_reply(p, n, &r) && r.msg == pong(std::nullopt) && r.result == 0;
       }},
      {"receive reply, sParam x", kReceiveReplyX,
       [] {
         return encode_receive_reply({pong(u"x"), 0});
       },
       [](const uint8_t* p, size_t n) {
         receive_reply r;
         return decode_receive_reply(p, n, &r) && r.msg == pong(u"x");
       }},
      {"small receive reply", kSmallReceiveReply,
       [] {
         return encode_receive_reply({{u"A", std::nullopt, 1, 2, std::nullopt, 3}, 0});
       },
       [](const uint8_t* p, size_t n) {
         receive_reply r;
         return decode_receive_reply(p, n, &r) && r.msg.from_id == u"A" && !r.msg.msg_id &&
                r.msg.serial == 3;
       }},
      {"disconnect reply",
       "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
       [] {
         return encode_context_reply({{}, 0});
       },
       [](const uint8_t* p, size_t n) {
         context_reply r;
         return decode_context_reply(p, n, &r) && is_null(r.ctx);
       }},
  };
}

TEST(dispatcher_stubs, encoders_match_worked_bytes) {
  for (const vector_case& c : vector_cases()) {
    EXPECT_EQ(to_hex(c.encode()), to_hex(hex(c.wire))) << c.what;
  }
}

TEST(dispatcher_stubs, decoders_accept_worked_bytes) {
  for (const vector_case& c : vector_cases()) {
    bytes b = hex(c.wire);
    EXPECT_TRUE(c.decode_and_check(b.data(), b.size())) << c.what;
  }
}

TEST(dispatcher_stubs, every_truncation_is_refused) {
  for (const vector_case& c : vector_cases()) {
    bytes b = hex(c.wire);
    for (size_t n = 0; n < b.size(); ++n) {
      bytes cut(b.begin(), b.begin() + n);
      EXPECT_FALSE(c.decode_and_check(cut.data(), cut.size())) << c.what << " cut at " << n;
    }
  }
}

TEST(dispatcher_stubs, left_over_bytes_are_refused) {
  for (const vector_case& c : vector_cases()) {
    bytes b = hex(c.wire);
    b.push_back(0);
    EXPECT_FALSE(c.decode_and_check(b.data(), b.size())) << c.what;
  }
}

TEST(dispatcher_stubs, null_texts_in_a_received_message) {
  receive_reply r{{std::nullopt, std::nullopt, 5, 6, std::nullopt, 9}, 0};
  bytes b = encode_receive_reply(r);
  EXPECT_EQ(b.size(), 28u);
  receive_reply back;
  back.msg.from_id = u"stale";
  ASSERT_TRUE(decode_receive_reply(b.data(), b.size(), &back));
  EXPECT_EQ(back.msg, r.msg);
}

TEST(dispatcher_stubs, round_trip_over_values) {
  for (int32_t v : {0, 1, -1, 0x7fffffff, static_cast<int32_t>(0x80000000), 12345}) {
    for (const char16_t* text : {u"", u"a", u"ab", u"abc", u"Quit.Me\u00e9"}) {
      send_request req{sample_ctx(), text, text, v, ~v, opt_text(text), v};
      bytes b = encode_send_request(req);
      send_request back;
      ASSERT_TRUE(decode_send_request(b.data(), b.size(), &back));
      EXPECT_EQ(back.to_id, req.to_id);
      EXPECT_EQ(back.iparam1, v);
      EXPECT_EQ(back.iparam2, ~v);
      EXPECT_EQ(back.sparam, req.sparam);
      EXPECT_EQ(back.serial, v);
    }
  }
}

}  // namespace
}  // namespace rpc
