// The built-in table behind the message catalogue.
#ifndef FERROX_SCANNER_MESSAGES_MESSAGE_TABLE_H_
#define FERROX_SCANNER_MESSAGES_MESSAGE_TABLE_H_

#include <cstddef>
#include <cstdint>

namespace ferrox {

using message_id = int32_t;

struct message_row {
  message_id id;
  const char* text;
};

// Rows in ascending number; each number appears once.
extern const message_row kMessageRows[];
extern const std::size_t kMessageRowCount;

}  // namespace ferrox

#endif  // FERROX_SCANNER_MESSAGES_MESSAGE_TABLE_H_
