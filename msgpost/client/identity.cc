#include "msgpost/client/identity.h"

#include <chrono>
#include <thread>

#include "msgpost/client/results.h"

namespace msgpost {

std::u16string ascii_lower(std::u16string s) {
  for (char16_t& c : s) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return s;
}

int32_t identity_registry::acquire() {
  int32_t count = ++users_;
  if (count == 1) {
    // The privilege to load drivers that the dispatcher once wanted has no
    // meaning here; there is nothing to enable.
    data_.user = ascii_lower(process_->user_name());
    data_.process_id = process_->process_id();
    data_.computer = ascii_lower(process_->computer_name());
    data_.module = ascii_lower(process_->module_name());
    ready_.exchange(true);
    return count;
  }
  for (int i = 0; i < 10000 && !ready_.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!ready_.load()) {
    // A failed acquire holds no reference, so the data can still be
    // gathered again once every holder has left.
    --users_;
    return result_identity_not_ready;
  }
  return count;
}

int32_t identity_registry::release() {
  int32_t count = --users_;
  if (count == 0) {
    ready_.exchange(false);
    return 0;
  }
  return count < 0 ? 0 : count;
}

bool build_client_identity(const identity_data& d, const std::u16string* from_id,
                           std::u16string* out) {
  std::u16string id = from_id ? *from_id : d.module;
  id += u'@';
  id += d.computer;
  id += u':';
  id += d.user;
  id += u'.';
  for (char c : std::to_string(d.process_id)) id += static_cast<char16_t>(c);
  if (id.size() + 1 > identity_capacity) return false;
  *out = std::move(id);
  return true;
}

}  // namespace msgpost
