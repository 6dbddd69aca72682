// Decimal text to a 32-bit number, the way the C library's wide
// string-to-long conversion with base 10 reads it.
#ifndef MSGPOST_CLIENT_NUMBER_H_
#define MSGPOST_CLIENT_NUMBER_H_

#include <cstdint>
#include <string>

namespace msgpost {

// Skips leading white space, reads an optional sign, then digits up to the
// first other character. No digits give 0; a value beyond the 32-bit range
// gives the largest or smallest 32-bit value.
int32_t to_int32(const std::u16string& text);

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_NUMBER_H_
