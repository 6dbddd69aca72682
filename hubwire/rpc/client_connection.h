// The client end of one connection: the bind that opens it and the calls
// that follow, one at a time. Replies that break the protocol end the
// connection; a fault leaves it usable.
#ifndef HUBWIRE_RPC_CLIENT_CONNECTION_H_
#define HUBWIRE_RPC_CLIENT_CONNECTION_H_

#include <atomic>
#include <cstdint>
#include <memory>

#include "hubwire/rpc/byte_stream.h"
#include "hubwire/rpc/coding.h"
#include "hubwire/rpc/status.h"

namespace rpc {

// How long a peer may take to answer a bind or a call that does not block
// by design, and to finish any PDU it has begun.
constexpr int reply_limit_ms = 30000;

class client_connection {
 public:
  explicit client_connection(std::unique_ptr<byte_stream> stream);

  // Binds to the dispatcher interface, creating an association group when
  // group is 0 and joining it otherwise. On success group() names the group.
  call_status bind(uint32_t group);

  // Sends one request and waits for its reply; *reply gets the reassembled
  // response stub. reply_ms limits the wait for the reply to begin (-1: no
  // limit, for calls that block by design); a reply that has begun must be
  // complete within the same 30 seconds as any PDU. Not to be called from
  // two threads at once.
  call_status call(uint16_t opnum, const bytes& stub, bytes* reply, int reply_ms);

  uint32_t group() const { return group_; }
  // True once the connection can carry no further call.
  bool broken() const { return broken_; }
  // Ends a call blocked in another thread; the connection is broken afterwards.
  void shutdown();

 private:
  call_status fail(call_status s);
  uint32_t next_call_id();
  call_status read_reply(uint32_t call_id, bytes* reply, int reply_ms);

  std::unique_ptr<byte_stream> stream_;
  uint32_t call_id_ = 0;
  uint32_t group_ = 0;
  size_t xmit_limit_ = min_fragment;
  std::atomic<bool> broken_ = false;
};

}  // namespace rpc

#endif  // HUBWIRE_RPC_CLIENT_CONNECTION_H_
