#include "msgpost/client/number.h"

#include <limits>

namespace msgpost {

int32_t to_int32(const std::u16string& text) {
  size_t i = 0;
  // The white space the C library skips: space, \t, \n, \v, \f, \r.
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  int64_t value = 0;
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit) value = kLimit;  // saturate; only the side matters now
  }
  if (negative)
    return value >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-value);
  return value >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(value);
}

}  // namespace msgpost
