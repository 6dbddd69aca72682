// A connected byte stream that carries PDUs, and reading one whole PDU from it.
#ifndef HUBWIRE_RPC_BYTE_STREAM_H_
#define HUBWIRE_RPC_BYTE_STREAM_H_

#include <cstddef>
#include <cstdint>

#include "hubwire/rpc/coding.h"
#include "hubwire/rpc/pdu.h"

namespace rpc {

// One connection. A single thread reads and a single thread writes at a time;
// shutdown() may come from any thread.
class byte_stream {
 public:
  virtual ~byte_stream() = default;
  // Reads up to n bytes into p: the count read, 0 at the end of the stream,
  // or -1 on an error (a shut-down stream counts as one).
  virtual long read_some(uint8_t* p, size_t n) = 0;
  // Writes all n bytes; false when the peer is gone or the stream was shut.
  virtual bool write_all(const uint8_t* p, size_t n) = 0;
  // Makes blocked and later reads and writes fail at once.
  virtual void shutdown() = 0;
  // Waits up to timeout_ms for bytes (or the end) to read: 1 when a read
  // would not block, 0 when the time ran out, -1 on an error.
  virtual int wait_readable(int timeout_ms) = 0;
};

// Time limits of read_pdu, in milliseconds; -1 waits without limit.
struct read_limits {
  int first_byte_ms = -1;  // for the PDU to begin
  int rest_ms = 30000;     // for the rest of it once it has begun
  int whole_ms = -1;       // for all of it, from the call
};

enum class read_status {
  ok,
  closed,     // the stream ended cleanly between two PDUs
  truncated,  // the stream ended (or failed) inside a PDU
  timed_out,  // a time limit ran out
  too_short,  // frag_length below the 16 header bytes
  too_long,   // frag_length above the limit; only the header was read
};

struct raw_pdu {
  pdu_header header;
  bytes data;  // the whole PDU, header included
};

// Reads exactly one PDU: the 16 header bytes, then frag_length - 16 more,
// looping over short reads. Never reads past the PDU, so the next one stays
// in the stream. A peer that stops sending halfway cannot hold the reader
// longer than limits.rest_ms, nor any peer longer than limits.whole_ms.
read_status read_pdu(byte_stream* s, size_t limit, raw_pdu* out, read_limits limits = {});

bool write_pdu(byte_stream* s, const bytes& pdu);

}  // namespace rpc

#endif  // HUBWIRE_RPC_BYTE_STREAM_H_
