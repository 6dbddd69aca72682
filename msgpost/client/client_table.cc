#include "msgpost/client/client_table.h"

#include <new>

#include "msgpost/client/results.h"

namespace msgpost {

int32_t client_table::take(dispatcher_client* c) {
  try {
    if (free_.empty()) {
      size_t old_size = slots_.size();
      size_t new_size = old_size == 0 ? 4 : old_size * 2;
      if (new_size > kMaxSlots) return result_no_memory;
      slots_.resize(new_size);
      for (size_t i = old_size; i < new_size; ++i) free_.push_back(i);
    }
    live_.reserve(live_.size() + 1);
  } catch (const std::bad_alloc&) {
    return result_no_memory;
  }
  size_t index = free_.front();
  free_.pop_front();
  live_.push_back(index);
  slots_[index] = {c, live_.size()};
  return static_cast<int32_t>(index + 1);
}

bool client_table::in_use(int32_t slot) const {
  return slot > 0 && static_cast<size_t>(slot) <= slots_.size() &&
         slots_[static_cast<size_t>(slot) - 1].live_position != 0;
}

int32_t client_table::release(int32_t slot) {
  if (!in_use(slot)) return result_bad_slot;
  size_t index = static_cast<size_t>(slot) - 1;
  size_t pos = slots_[index].live_position - 1;
  size_t moved = live_.back();
  live_[pos] = moved;
  slots_[moved].live_position = pos + 1;
  live_.pop_back();
  slots_[index] = {};
  free_.push_back(index);
  return 0;
}

dispatcher_client* client_table::get(int32_t slot) const {
  return in_use(slot) ? slots_[static_cast<size_t>(slot) - 1].client : nullptr;
}

std::vector<dispatcher_client*> client_table::live_clients() const {
  std::vector<dispatcher_client*> out;
  for (size_t index : live_) out.push_back(slots_[index].client);
  return out;
}

}  // namespace msgpost
