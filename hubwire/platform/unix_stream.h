// Unix domain stream sockets as byte streams for the dispatcher transport.
#ifndef HUBWIRE_PLATFORM_UNIX_STREAM_H_
#define HUBWIRE_PLATFORM_UNIX_STREAM_H_

#include <memory>
#include <string>

#include "hubwire/rpc/byte_stream.h"

namespace platform {

// Connects to the socket at path. On failure returns null and sets *os_error
// to the errno value (ENAMETOOLONG when the path does not fit a socket
// address).
std::unique_ptr<rpc::byte_stream> connect_unix_stream(const std::string& path, int* os_error);

// Takes ownership of a connected socket descriptor.
std::unique_ptr<rpc::byte_stream> adopt_socket(int fd);

}  // namespace platform

#endif  // HUBWIRE_PLATFORM_UNIX_STREAM_H_
