// The table of clients: slots numbered from 1, a first-in first-out queue of
// free slots and a compact list of the slots in use. Not locked by itself:
// its owner holds one lock around every use.
#ifndef MSGPOST_CLIENT_CLIENT_TABLE_H_
#define MSGPOST_CLIENT_CLIENT_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace msgpost {

struct dispatcher_client;

class client_table {
 public:
  // Most slots the table grows to, so a runaway caller cannot exhaust memory.
  static constexpr size_t kMaxSlots = 4096;

  // Stores c in the first free slot, growing the array to 4 slots the first
  // time and doubling it afterwards. Returns the slot number (index + 1), or
  // -2 when no slot can be had.
  int32_t take(dispatcher_client* c);
  // Frees a slot in use; -3 when slot is not one.
  int32_t release(int32_t slot);
  // The client in a slot in use, else null.
  dispatcher_client* get(int32_t slot) const;
  // The clients in use, in live-list order.
  std::vector<dispatcher_client*> live_clients() const;

  size_t capacity() const { return slots_.size(); }
  const std::deque<size_t>& free_queue() const { return free_; }
  const std::vector<size_t>& live_list() const { return live_; }

 private:
  struct entry {
    dispatcher_client* client = nullptr;
    size_t live_position = 0;  // position in live_ plus one; 0 means free
  };
  bool in_use(int32_t slot) const;

  std::vector<entry> slots_;
  std::deque<size_t> free_;
  std::vector<size_t> live_;
};

}  // namespace msgpost

#endif  // MSGPOST_CLIENT_CLIENT_TABLE_H_
