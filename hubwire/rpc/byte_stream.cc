#include "hubwire/rpc/byte_stream.h"

#include <algorithm>
#include <chrono>
#include <optional>

namespace rpc {

namespace {

using steady = std::chrono::steady_clock;

// Milliseconds left until deadline (never negative); -1 without one.
int remaining_ms(const std::optional<steady::time_point>& deadline) {
  if (!deadline) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - steady::now());
  return static_cast<int>(std::max<int64_t>(0, left.count()));
}

std::optional<steady::time_point> deadline_in(int ms) {
  if (ms < 0) return std::nullopt;
  return steady::now() + std::chrono::milliseconds(ms);
}

// Where one PDU's reading stands: whether its first byte has come, and the
// deadline for the rest from then on.
struct pdu_clock {
  std::optional<steady::time_point> whole_deadline;
  std::optional<steady::time_point> first_deadline;
  int rest_ms = -1;
  bool started = false;
  std::optional<steady::time_point> rest_deadline;
};

// Reads all n bytes within the clock's limits.
read_status read_exact(byte_stream* s, uint8_t* p, size_t n, pdu_clock* clock) {
  size_t got = 0;
  while (got < n) {
    int wait = remaining_ms(clock->started ? clock->rest_deadline : clock->first_deadline);
    int whole = remaining_ms(clock->whole_deadline);
    if (whole >= 0 && (wait < 0 || whole < wait)) wait = whole;
    if (wait >= 0) {
      int ready = s->wait_readable(wait);
      if (ready == 0) return read_status::timed_out;
      if (ready < 0) return read_status::truncated;
    }
    long r = s->read_some(p + got, n - got);
    if (r < 0) return read_status::truncated;
    if (r == 0) return clock->started ? read_status::truncated : read_status::closed;
    if (!clock->started) {
      clock->started = true;
      clock->rest_deadline = deadline_in(clock->rest_ms);
    }
    got += static_cast<size_t>(r);
  }
  return read_status::ok;
}

}  // namespace

read_status read_pdu(byte_stream* s, size_t limit, raw_pdu* out, read_limits limits) {
  out->data.resize(header_size);
  pdu_clock clock;
  clock.whole_deadline = deadline_in(limits.whole_ms);
  clock.first_deadline = deadline_in(limits.first_byte_ms);
  clock.rest_ms = limits.rest_ms;
  read_status r = read_exact(s, out->data.data(), header_size, &clock);
  if (r != read_status::ok) return r;
  out->header = decode_header(out->data.data());
  size_t length = out->header.frag_length;
  if (length < header_size) return read_status::too_short;
  if (length > limit) return read_status::too_long;
  out->data.resize(length);
  r = read_exact(s, out->data.data() + header_size, length - header_size, &clock);
  return r == read_status::closed ? read_status::truncated : r;
}

bool write_pdu(byte_stream* s, const bytes& pdu) { return s->write_all(pdu.data(), pdu.size()); }

}  // namespace rpc
