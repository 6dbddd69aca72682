// The dispatcher's state: association groups, registered clients with their
// names and message queues, and the six procedures over them. Thread-safe;
// every connection thread calls in.
#ifndef HUBSVC_REGISTRY_H_
#define HUBSVC_REGISTRY_H_

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "hubwire/rpc/dispatcher_stubs.h"
#include "hubwire/rpc/ndr.h"

namespace hubsvc {

// The caller's credentials from SO_PEERCRED.
struct peer_cred {
  int32_t pid = 0;
  uint32_t uid = 0;
  uint32_t gid = 0;
};

// Limits that keep a hostile or runaway client from growing the service.
struct registry_limits {
  size_t max_groups = 512;
  size_t max_clients = 1024;
  size_t max_names = 16;                      // names per client, the registered one included
  size_t max_queued = 1024;                   // messages waiting per client
  size_t max_queued_bytes = 8u << 20;         // text bytes waiting per client
  size_t max_total_queued_bytes = 64u << 20;  // text bytes waiting in all
  // What one user (by uid) may take of the shared limits, so that no user can lock another out.
  size_t max_clients_per_user = 128;
  size_t max_user_queued_bytes = 16u << 20;  // text bytes waiting for the clients of one user
  size_t max_name_units = 1024;              // an identity or a name, in UTF-16 units
};

enum class call_result {
  ok,          // the procedure ran; its reply is filled in
  bad_handle,  // the context handle is null, unknown, closed or of another group
  abandoned,   // a blocked receive gave up because its caller went away
  stopping,    // the service is stopping
};

class registry {
 public:
  // Gets one line for the log each time a client takes a name (or identity) that a client of
  // another user already answers to: both receive what is sent to it, so no message is private
  // to one user. Called outside the registry's lock.
  using notice_fn = std::function<void(const std::string&)>;

  explicit registry(registry_limits limits = {}, notice_fn notice = {});

  // A new association group for a caller; 0 when too many exist.
  uint32_t create_group(uint32_t uid);
  // Adds a connection to a live group of the same user; false otherwise.
  bool join_group(uint32_t group, uint32_t uid);
  // Removes a connection; with the last one the group's clients are
  // disconnected and the group is forgotten.
  void leave_group(uint32_t group);

  // Procedure 0: registers a client and returns its number, or -2 when the
  // service (or the caller's user) holds as many clients as it may or the
  // identity or name is longer than a client_identity can be.
  int32_t connect_client(uint32_t group, const rpc::connect_request& req, const peer_cred& cred,
                         rpc::context_handle* ctx);
  // Procedure 1: a copy to every client whose name or identity equals to_id;
  // *result is the number of recipients, *serial the message's new serial.
  call_result send_message(uint32_t group, const rpc::send_request& req, int32_t* serial,
                           int32_t* result);
  // Procedure 2: as procedure 1, but the message keeps the serial it carries.
  call_result send_response(uint32_t group, const rpc::send_request& req, int32_t* result);
  // Procedure 3: one more name for the client; -2 when it has too many or
  // the name is too long.
  call_result add_name(uint32_t group, const rpc::name_request& req, int32_t* result);
  // Procedure 4: waits for a message for the client. *result is 0 with a
  // message, or -1 (no message) once the client is disconnected. gone is
  // asked every 100 ms whether the caller has gone away.
  call_result receive_message(uint32_t group, const rpc::context_handle& ctx,
                              const std::function<bool()>& gone, rpc::dispatcher_message* msg,
                              int32_t* result);
  // Puts back, at the front, a message whose reply could not be written.
  void requeue(uint32_t group, const rpc::context_handle& ctx, rpc::dispatcher_message msg);
  // Procedure 5: ends the registration and wakes its pending receives.
  call_result disconnect_client(uint32_t group, const rpc::context_handle& ctx, int32_t* result);

  // Wakes every blocked receive with call_result::stopping; later receives
  // return it at once.
  void stop();

  size_t client_count();

 private:
  struct client {
    uint32_t group = 0;
    int32_t number = 0;
    std::u16string identity;
    std::vector<std::u16string> names;
    peer_cred cred;
    std::deque<rpc::dispatcher_message> queue;
    size_t queued_bytes = 0;
    bool closed = false;
    std::condition_variable cv;  // signalled on a new message, disconnect or stop
  };
  struct group_info {
    uint32_t uid = 0;
    int connections = 0;
  };
  struct user_use {
    size_t clients = 0;
    size_t queued_bytes = 0;
  };

  std::shared_ptr<client> find(uint32_t group, const rpc::context_handle& ctx);
  // The notice for `name` newly taken by a client of `cred`, or an empty text when no client of
  // another user answers to it.
  std::string shared_name_notice(const std::u16string& name, const peer_cred& cred) const;
  int32_t deliver(const std::u16string& to_id, const rpc::dispatcher_message& msg);
  void close_client(const rpc::context_handle& ctx);

  const registry_limits limits_;
  const notice_fn notice_;
  std::mutex mu_;  // guards everything below
  std::mt19937_64 rng_;
  std::map<uint32_t, group_info> groups_;
  std::map<rpc::context_handle, std::shared_ptr<client>> clients_;
  std::map<uint32_t, user_use> users_;  // by uid, while the user has a client
  int32_t next_number_ = 1;
  int32_t next_serial_ = 1;
  size_t total_queued_bytes_ = 0;
  bool stopping_ = false;
};

}  // namespace hubsvc

#endif  // HUBSVC_REGISTRY_H_
