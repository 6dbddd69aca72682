// One client connection of the dispatcher service: the bind that opens it,
// then requests, one call at a time, each reassembled, checked, run against
// the registry and answered. Anything that breaks the framing ends the
// connection; a stub that does not decode gets a fault and the connection
// goes on.
#ifndef HUBSVC_CONNECTION_H_
#define HUBSVC_CONNECTION_H_

#include <cstdint>
#include <memory>
#include <set>

#include "hubsvc/registry.h"
#include "hubwire/rpc/byte_stream.h"
#include "hubwire/rpc/coding.h"

namespace hubsvc {

class connection {
 public:
  // From connecting, a client has this long to send its whole first PDU (the bind); a later PDU,
  // once begun, must be complete this long after its first byte. Between PDUs a bound client may
  // stay quiet for as long as it likes.
  static constexpr int kFirstPduMs = 5000;
  static constexpr int kPduMs = 5000;

  // How serve() ended.
  enum class ending { done, timed_out };

  // Takes ownership of the connected socket fd.
  connection(int fd, registry* reg, peer_cred cred);
  ~connection();

  // Serves until the peer closes, the connection breaks, a PDU runs out of time, or stop().
  ending serve();
  const peer_cred& cred() const { return cred_; }
  // Ends serve() from another thread.
  void stop();

 private:
  enum class next { go_on, close };

  next on_first_pdu(const rpc::raw_pdu& pdu);
  next on_pdu(const rpc::raw_pdu& pdu);
  next on_request(const rpc::raw_pdu& pdu);
  next run_call();
  next reply(const rpc::bytes& stub);
  next fault(uint32_t status, bool did_not_execute, bool then_close);
  next bind_nak(uint32_t call_id, uint16_t reason);
  // True when the peer has hung up or sent something while a call is out.
  bool peer_gone();

  int fd_;
  std::unique_ptr<rpc::byte_stream> stream_;
  registry* reg_;
  peer_cred cred_;
  uint32_t group_ = 0;  // 0 until bound
  size_t frag_limit_ = rpc::proposed_fragment;
  std::set<uint16_t> accepted_contexts_;

  // The call being reassembled or run.
  bool in_call_ = false;
  uint32_t call_id_ = 0;
  uint16_t cont_id_ = 0;
  uint16_t opnum_ = 0;
  rpc::bytes stub_;
};

}  // namespace hubsvc

#endif  // HUBSVC_CONNECTION_H_
