#include "hubsvc/registry.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include "hubwire/rpc/utf.h"

namespace hubsvc {

namespace {

size_t text_bytes(const rpc::opt_text& t) { return t ? 2 * (t->size() + 1) : 0; }

size_t message_bytes(const rpc::dispatcher_message& m) {
  return text_bytes(m.from_id) + text_bytes(m.msg_id) + text_bytes(m.sparam);
}

}  // namespace

registry::registry(registry_limits limits, notice_fn notice)
    : limits_(limits), notice_(std::move(notice)), rng_(std::random_device{}()) {}

std::string registry::shared_name_notice(const std::u16string& name, const peer_cred& cred) const {
  for (const auto& [ctx, c] : clients_) {
    if (c->cred.uid == cred.uid) continue;
    if (c->identity != name &&
        std::find(c->names.begin(), c->names.end(), name) == c->names.end()) {
      continue;
    }
    // The name as the log can show it: bounded, control characters as '?'.
    std::string shown = rpc::utf16_to_utf8(name.substr(0, 256));
    for (char& ch : shown) {
      if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f) ch = '?';
    }
    return "a client of uid " + std::to_string(cred.uid) + " (pid " + std::to_string(cred.pid) +
           ") registered the name \"" + shown + "\", which a client of uid " +
           std::to_string(c->cred.uid) + " holds: both receive the messages sent to it";
  }
  return {};
}

uint32_t registry::create_group(uint32_t uid) {
  std::lock_guard<std::mutex> lock(mu_);
  if (groups_.size() >= limits_.max_groups) return 0;
  // Random rather than sequential, so a group cannot be guessed and joined.
  uint32_t id;
  do {
    id = static_cast<uint32_t>(rng_());
  } while (id == 0 || groups_.count(id) != 0);
  groups_[id] = {uid, 1};
  return id;
}

bool registry::join_group(uint32_t group, uint32_t uid) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = groups_.find(group);
  if (it == groups_.end() || it->second.uid != uid) return false;
  ++it->second.connections;
  return true;
}

void registry::leave_group(uint32_t group) {
  std::lock_guard<std::mutex> lock(mu_);
  auto it = groups_.find(group);
  if (it == groups_.end() || --it->second.connections > 0) return;
  groups_.erase(it);
  // Rundown: what disconnect_client would have done for each handle left.
  std::vector<rpc::context_handle> left;
  for (auto& [ctx, c] : clients_) {
    if (c->group == group) left.push_back(ctx);
  }
  for (const rpc::context_handle& ctx : left) close_client(ctx);
}

std::shared_ptr<registry::client> registry::find(uint32_t group, const rpc::context_handle& ctx) {
  auto it = clients_.find(ctx);
  if (it == clients_.end() || it->second->group != group) return nullptr;
  return it->second;
}

void registry::close_client(const rpc::context_handle& ctx) {
  auto it = clients_.find(ctx);
  if (it == clients_.end()) return;
  // Messages still queued for the client go with it.
  total_queued_bytes_ -= it->second->queued_bytes;
  auto user = users_.find(it->second->cred.uid);
  user->second.queued_bytes -= it->second->queued_bytes;
  if (--user->second.clients == 0) users_.erase(user);
  it->second->queued_bytes = 0;
  it->second->queue.clear();
  it->second->closed = true;
  it->second->cv.notify_all();
  clients_.erase(it);
}

int32_t registry::connect_client(uint32_t group, const rpc::connect_request& req,
                                 const peer_cred& cred, rpc::context_handle* ctx) {
  std::unique_lock<std::mutex> lock(mu_);
  if (clients_.size() >= limits_.max_clients) return -2;
  auto user = users_.find(cred.uid);
  if (user != users_.end() && user->second.clients >= limits_.max_clients_per_user) return -2;
  if (req.identity.size() > limits_.max_name_units ||
      (req.name && req.name->size() > limits_.max_name_units)) {
    return -2;
  }
  rpc::context_handle h{};
  do {
    for (size_t i = 4; i < h.size(); ++i) h[i] = static_cast<uint8_t>(rng_());
    h[4 + 7] = static_cast<uint8_t>((h[4 + 7] & 0x0f) | 0x40);  // a random (version 4) UUID
    h[4 + 8] = static_cast<uint8_t>((h[4 + 8] & 0x3f) | 0x80);
  } while (clients_.count(h) != 0);
  std::string notice = shared_name_notice(req.identity, cred);
  if (notice.empty() && req.name && *req.name != req.identity) {
    notice = shared_name_notice(*req.name, cred);
  }
  auto c = std::make_shared<client>();
  c->group = group;
  c->number = next_number_;
  next_number_ = next_number_ == INT32_MAX ? 1 : next_number_ + 1;
  c->identity = req.identity;
  if (req.name) c->names.push_back(*req.name);
  c->cred = cred;
  clients_[h] = c;
  ++users_[cred.uid].clients;
  *ctx = h;
  lock.unlock();
  if (!notice.empty() && notice_) notice_(notice);
  return c->number;
}

int32_t registry::deliver(const std::u16string& to_id, const rpc::dispatcher_message& msg) {
  size_t bytes = message_bytes(msg);
  int32_t recipients = 0;
  for (auto& [ctx, c] : clients_) {
    bool named = c->identity == to_id ||
                 std::find(c->names.begin(), c->names.end(), to_id) != c->names.end();
    if (!named) continue;
    // A client whose queue is full does not receive: it counts as no recipient.
    user_use& user = users_[c->cred.uid];
    if (c->queue.size() >= limits_.max_queued ||
        c->queued_bytes + bytes > limits_.max_queued_bytes ||
        user.queued_bytes + bytes > limits_.max_user_queued_bytes ||
        total_queued_bytes_ + bytes > limits_.max_total_queued_bytes) {
      continue;
    }
    c->queue.push_back(msg);
    c->queued_bytes += bytes;
    user.queued_bytes += bytes;
    total_queued_bytes_ += bytes;
    c->cv.notify_all();
    ++recipients;
  }
  return recipients;
}

call_result registry::send_message(uint32_t group, const rpc::send_request& req, int32_t* serial,
                                   int32_t* result) {
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<client> sender = find(group, req.ctx);
  if (!sender) return call_result::bad_handle;
  int32_t s = next_serial_;
  next_serial_ = next_serial_ == INT32_MAX ? 1 : next_serial_ + 1;
  rpc::dispatcher_message m{sender->identity, req.msg_id, req.iparam1, req.iparam2, req.sparam, s};
  *result = deliver(req.to_id, m);
  *serial = s;
  return call_result::ok;
}

call_result registry::send_response(uint32_t group, const rpc::send_request& req, int32_t* result) {
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<client> sender = find(group, req.ctx);
  if (!sender) return call_result::bad_handle;
  rpc::dispatcher_message m{sender->identity, req.msg_id, req.iparam1,
                            req.iparam2,      req.sparam, req.serial};
  *result = deliver(req.to_id, m);
  return call_result::ok;
}

call_result registry::add_name(uint32_t group, const rpc::name_request& req, int32_t* result) {
  std::unique_lock<std::mutex> lock(mu_);
  std::shared_ptr<client> c = find(group, req.ctx);
  if (!c) return call_result::bad_handle;
  *result = 0;
  if (std::find(c->names.begin(), c->names.end(), req.name) != c->names.end()) {
    return call_result::ok;
  }
  if (c->names.size() >= limits_.max_names || req.name.size() > limits_.max_name_units) {
    *result = -2;
    return call_result::ok;
  }
  std::string notice =
      c->identity == req.name ? std::string() : shared_name_notice(req.name, c->cred);
  c->names.push_back(req.name);
  lock.unlock();
  if (!notice.empty() && notice_) notice_(notice);
  return call_result::ok;
}

call_result registry::receive_message(uint32_t group, const rpc::context_handle& ctx,
                                      const std::function<bool()>& gone,
                                      rpc::dispatcher_message* msg, int32_t* result) {
  std::unique_lock<std::mutex> lock(mu_);
  std::shared_ptr<client> c = find(group, ctx);
  if (!c) return call_result::bad_handle;
  for (;;) {
    if (c->closed) {
      *msg = {};
      *result = -1;
      return call_result::ok;
    }
    if (!c->queue.empty()) {
      *msg = std::move(c->queue.front());
      c->queue.pop_front();
      c->queued_bytes -= message_bytes(*msg);
      users_[c->cred.uid].queued_bytes -= message_bytes(*msg);
      total_queued_bytes_ -= message_bytes(*msg);
      *result = 0;
      return call_result::ok;
    }
    if (stopping_) return call_result::stopping;
    if (gone()) return call_result::abandoned;
    c->cv.wait_for(lock, std::chrono::milliseconds(100));
  }
}

void registry::requeue(uint32_t group, const rpc::context_handle& ctx,
                       rpc::dispatcher_message msg) {
  std::lock_guard<std::mutex> lock(mu_);
  std::shared_ptr<client> c = find(group, ctx);
  if (!c) return;
  c->queued_bytes += message_bytes(msg);
  users_[c->cred.uid].queued_bytes += message_bytes(msg);
  total_queued_bytes_ += message_bytes(msg);
  c->queue.push_front(std::move(msg));
  c->cv.notify_all();
}

call_result registry::disconnect_client(uint32_t group, const rpc::context_handle& ctx,
                                        int32_t* result) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!find(group, ctx)) return call_result::bad_handle;
  close_client(ctx);
  *result = 0;
  return call_result::ok;
}

void registry::stop() {
  std::lock_guard<std::mutex> lock(mu_);
  stopping_ = true;
  for (auto& [ctx, c] : clients_) c->cv.notify_all();
}

size_t registry::client_count() {
  std::lock_guard<std::mutex> lock(mu_);
  return clients_.size();
}

}  // namespace hubsvc
