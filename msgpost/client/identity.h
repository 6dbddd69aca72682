// The process-wide identity data of the dispatcher client (user, computer,
// process id, program name), gathered by its first user and kept while any
// user holds it, and the client_identity built from it.
#ifndef MSGPOST_CLIENT_IDENTITY_H_
#define MSGPOST_CLIENT_IDENTITY_H_

#include <atomic>
#include <cstdint>
#include <string>

#include "msgpost/platform/process.h"

namespace msgpost {

struct identity_data {
  std::u16string user;      // lower case
  std::u16string computer;  // lower case
  int32_t process_id = 0;
  std::u16string module;  // lower case
};

// Units a client_identity may take, its terminator included.
constexpr size_t identity_capacity = 1024;

class identity_registry {
 public:
  explicit identity_registry(platform::process_services* process) : process_(process) {}

  // Counts one more user; the first gathers the data. A later user waits for
  // the first to finish: up to 10,000 checks 1 ms apart. Returns the new
  // user count, or -6 (and no count is kept) when the data never became ready.
  int32_t acquire();
  // Counts one user less; returns the remaining count (0 when the last user
  // left, after which the data is gathered again by the next first user).
  int32_t release();
  // Valid between a successful acquire and the matching release.
  const identity_data& data() const { return data_; }

 private:
  platform::process_services* process_;
  std::atomic<int32_t> users_ = 0;
  std::atomic<bool> ready_ = false;  // data_ is complete; set and cleared by exchange
  identity_data data_;
};

// ASCII-only lowering: the names are host and login names, and the result
// must not depend on the locale.
std::u16string ascii_lower(std::u16string s);

// fromId (the module name when from_id is null) "@" computer ":" user "."
// process id. False, with *out untouched, when it would not fit in
// identity_capacity units with its terminator.
bool build_client_identity(const identity_data& d, const std::u16string* from_id,
                           std::u16string* out);

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_IDENTITY_H_
