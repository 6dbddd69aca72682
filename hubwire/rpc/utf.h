// UTF-8 <-> UTF-16 conversion for texts that cross into and out of the
// dispatcher's wide strings.
#ifndef HUBWIRE_RPC_UTF_H_
#define HUBWIRE_RPC_UTF_H_

#include <string>

namespace rpc {

// False on malformed UTF-8 (bad sequences, overlong forms, surrogates).
bool utf8_to_utf16(const std::string& in, std::u16string* out);
// Unpaired surrogates become U+FFFD, so any wide string can be printed.
std::string utf16_to_utf8(const std::u16string& in);

}  // namespace rpc

#endif  // HUBWIRE_RPC_UTF_H_
