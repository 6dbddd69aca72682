// A client binding to the dispatcher endpoint: one association group and a
// small pool of connections in it, so that a call blocked on one connection
// (receive_message) never holds up calls made meanwhile on other threads.
#ifndef HUBWIRE_RPC_BINDING_H_
#define HUBWIRE_RPC_BINDING_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "hubwire/rpc/byte_stream.h"
#include "hubwire/rpc/client_connection.h"
#include "hubwire/rpc/status.h"

namespace rpc {

class binding {
 public:
  // Opens a new stream to the endpoint, or returns null when nothing accepts
  // the connection.
  using connector = std::function<std::unique_ptr<byte_stream>()>;

  // first, when given, is a stream already connected; the first call uses it.
  explicit binding(connector connect, std::unique_ptr<byte_stream> first = nullptr);

  // Makes one call on an idle connection of the group, opening (and binding)
  // a new one when none is idle. Safe to call from several threads at once.
  // reply_ms as for client_connection::call.
  call_status call(uint16_t opnum, const bytes& stub, bytes* reply, int reply_ms = reply_limit_ms);

  // Shuts every connection, so calls blocked in other threads return at once
  // with an error and later calls fail. For a stop that must not wait.
  void abort_calls();

 private:
  call_status take(std::unique_ptr<client_connection>* out);
  void give_back(std::unique_ptr<client_connection> c);

  static constexpr size_t kMaxIdle = 4;

  connector connect_;
  std::mutex mu_;  // guards first_ and everything below it
  std::unique_ptr<byte_stream> first_;
  uint32_t group_ = 0;
  bool aborted_ = false;
  std::vector<std::unique_ptr<client_connection>> idle_;
  std::vector<client_connection*> busy_;
};

}  // namespace rpc

#endif  // HUBWIRE_RPC_BINDING_H_
