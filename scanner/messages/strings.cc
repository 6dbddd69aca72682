#include "scanner/messages/strings.h"

namespace ferrox {

namespace {
const strings* installed = nullptr;
}  // namespace

strings::strings() : strings(kMessageRows, kMessageRowCount) {}

strings::strings(const message_row* rows, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) texts_[rows[i].id] = rows[i].text;
  ready_ = texts_.size() == count;
}

strings::~strings() = default;

std::string strings::get(message_id id) const {
  if (!ready_) return std::string();
  auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

void install_catalogue(const strings* catalogue) { installed = catalogue; }

std::string msg(message_id id) { return installed ? installed->get(id) : std::string(); }

}  // namespace ferrox
