#include "hubwire/rpc/byte_stream.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>

#include "hubwire/platform/unix_stream.h"

namespace rpc {
namespace {

struct stream_pair {
  std::unique_ptr<byte_stream> reader;
  std::unique_ptr<byte_stream> writer;
  stream_pair() {
    int fds[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    reader = platform::adopt_socket(fds[0]);
    writer = platform::adopt_socket(fds[1]);
  }
  void write(const bytes& b) { writer->write_all(b.data(), b.size()); }
};

const bytes kFault = encode_fault(7, 0, 5, true);

bytes fault_pdu() { return kFault; }
bytes fault_prefix(size_t n) { return bytes(kFault.begin(), kFault.begin() + n); }

TEST(read_pdu, reads_one_pdu_at_a_time) {
  stream_pair s;
  s.write(fault_pdu());
  s.write(fault_pdu());
  raw_pdu p;
  EXPECT_EQ(read_pdu(s.reader.get(), 5840, &p), read_status::ok);
  EXPECT_EQ(p.data, fault_pdu());
  EXPECT_EQ(read_pdu(s.reader.get(), 5840, &p), read_status::ok);
  s.writer->shutdown();
  EXPECT_EQ(read_pdu(s.reader.get(), 5840, &p), read_status::closed);
}

TEST(read_pdu, framing_outcomes) {
  struct {
    const char* what;
    bytes data;
    size_t limit;
    read_status want;
  } cases[] = {
      {"ends inside the header", fault_prefix(9), 5840, read_status::truncated},
      {"ends inside the body", fault_prefix(20), 5840, read_status::truncated},
      {"frag_length 15",
       [] {
         bytes b = fault_pdu();
         b[8] = 15;
         return b;
       }(),
       5840, read_status::too_short},
      {"above the limit", fault_pdu(), 31, read_status::too_long},
      {"at the limit", fault_pdu(), 32, read_status::ok},
  };
  for (auto& c : cases) {
    stream_pair s;
    s.write(c.data);
    s.writer->shutdown();
    raw_pdu p;
    EXPECT_EQ(read_pdu(s.reader.get(), c.limit, &p), c.want) << c.what;
  }
}

TEST(read_pdu, a_stalled_peer_runs_out_of_time) {
  using clock = std::chrono::steady_clock;
  stream_pair s;
  raw_pdu p;
  auto start = clock::now();
  EXPECT_EQ(read_pdu(s.reader.get(), 5840, &p, {50, 50}), read_status::timed_out);
  s.write(fault_prefix(20));  // begun, never finished
  EXPECT_EQ(read_pdu(s.reader.get(), 5840, &p, {-1, 100}), read_status::timed_out);
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start);
  EXPECT_GE(spent.count(), 140);
  EXPECT_LT(spent.count(), 3000);
}

TEST(read_pdu, a_whole_deadline_counts_from_the_call) {
  using clock = std::chrono::steady_clock;
  stream_pair s;
  raw_pdu p;
  s.write(fault_prefix(5));  // begun at once, never finished: the rest alone would wait 10 s
  auto start = clock::now();
  EXPECT_EQ(read_pdu(s.reader.get(), 5840, &p, {-1, 10000, 100}), read_status::timed_out);
  auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - start);
  EXPECT_GE(spent.count(), 90);
  EXPECT_LT(spent.count(), 3000);
}

}  // namespace
}  // namespace rpc
