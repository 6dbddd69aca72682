#include "hubwire/rpc/binding.h"

#include <algorithm>

namespace rpc {

binding::binding(connector connect, std::unique_ptr<byte_stream> first)
    : connect_(std::move(connect)), first_(std::move(first)) {}

call_status binding::take(std::unique_ptr<client_connection>* out) {
  uint32_t group;
  std::unique_ptr<byte_stream> stream;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (aborted_) return rpc_s_call_failed;
    if (!idle_.empty()) {
      *out = std::move(idle_.back());
      idle_.pop_back();
      busy_.push_back(out->get());
      return status_ok;
    }
    group = group_;
    stream = std::move(first_);
  }
  // Connect and bind outside the lock: another thread's call must not wait
  // for this one's handshake.
  if (!stream) stream = connect_();
  if (!stream) return rpc_s_server_unavailable;
  auto c = std::make_unique<client_connection>(std::move(stream));
  call_status s = c->bind(group);
  if (s != status_ok) return s;
  std::lock_guard<std::mutex> lock(mu_);
  if (aborted_) return rpc_s_call_failed;
  if (group_ == 0) group_ = c->group();
  busy_.push_back(c.get());
  *out = std::move(c);
  return status_ok;
}

void binding::give_back(std::unique_ptr<client_connection> c) {
  std::lock_guard<std::mutex> lock(mu_);
  busy_.erase(std::find(busy_.begin(), busy_.end(), c.get()));
  if (!c->broken() && !aborted_ && idle_.size() < kMaxIdle) idle_.push_back(std::move(c));
}

call_status binding::call(uint16_t opnum, const bytes& stub, bytes* reply, int reply_ms) {
  std::unique_ptr<client_connection> c;
  call_status s = take(&c);
  if (s != status_ok) return s;
  s = c->call(opnum, stub, reply, reply_ms);
  give_back(std::move(c));
  return s;
}

void binding::abort_calls() {
  std::lock_guard<std::mutex> lock(mu_);
  aborted_ = true;
  for (client_connection* c : busy_) c->shutdown();
  idle_.clear();
}

}  // namespace rpc
