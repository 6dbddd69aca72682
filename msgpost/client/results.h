// The dispatcher client's negative results.
#ifndef MSGPOST_CLIENT_RESULTS_H_
#define MSGPOST_CLIENT_RESULTS_H_

#include <cstdint>

namespace msgpost {

// The service cannot be opened, or binding failed for a reason of its own.
constexpr int32_t result_no_service = -1;
// Out of memory or room for the client or the table; or an identity too long.
constexpr int32_t result_no_memory = -2;
// The slot number is not a slot in use.
constexpr int32_t result_bad_slot = -3;
// The identity data did not become ready in time.
constexpr int32_t result_identity_not_ready = -6;
// A call raised an exception (nothing listens, the connection broke).
constexpr int32_t result_rpc_exception = -8;
// The endpoint may not be used (access denied).
constexpr int32_t result_access_denied = -13;

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_RESULTS_H_
