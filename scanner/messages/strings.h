// The message catalogue: every text the scanner prints, fetched by number.
#ifndef FERROX_SCANNER_MESSAGES_STRINGS_H_
#define FERROX_SCANNER_MESSAGES_STRINGS_H_

#include <map>
#include <string>

#include "scanner/messages/message_ids.h"
#include "scanner/messages/message_table.h"

namespace ferrox {

// Built once at start-up and only read afterwards: get() is safe from any thread.
class strings {
 public:
  strings();  // from the built-in table
  strings(const message_row* rows, std::size_t count);
  virtual ~strings();

  // True when every row of the table was stored (no number appears twice).
  bool ready() const { return ready_; }
  // A copy of the text, or "" for a number without a row or a catalogue that is not ready.
  std::string get(message_id id) const;

 private:
  bool ready_ = false;
  std::map<message_id, std::string> texts_;
};

// Makes `catalogue` the one msg() reads, or none with null. The caller owns it and keeps it alive
// while installed; the run installs its catalogue once, before any thread starts.
void install_catalogue(const strings* catalogue);

// The text of `id` from the installed catalogue, or "" when none is installed.
std::string msg(message_id id);

}  // namespace ferrox

#endif  // FERROX_SCANNER_MESSAGES_STRINGS_H_
