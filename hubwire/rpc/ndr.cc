#include "hubwire/rpc/ndr.h"

#include <algorithm>

namespace rpc {

bool is_null(const context_handle& h) {
  return std::all_of(h.begin(), h.end(), [](uint8_t b) { return b == 0; });
}

bool is_valid_utf16(const std::u16string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xd800 && c <= 0xdbff) {
      if (i + 1 >= s.size() || s[i + 1] < 0xdc00 || s[i + 1] > 0xdfff) return false;
      ++i;
    } else if (c >= 0xdc00 && c <= 0xdfff) {
      return false;
    }
  }
  return true;
}

void ndr_writer::align(size_t n) {
  while (buf_.size() % n != 0) buf_.push_back(0);
}

void ndr_writer::put_long(int32_t v) {
  align(4);
  put_u32(&buf_, static_cast<uint32_t>(v));
}

void ndr_writer::put_string(const std::u16string& s) {
  align(4);
  uint32_t units = static_cast<uint32_t>(s.size() + 1);
  put_u32(&buf_, units);
  put_u32(&buf_, 0);
  put_u32(&buf_, units);
  for (char16_t c : s) put_u16(&buf_, c);
  put_u16(&buf_, 0);
}

void ndr_writer::put_pointer(bool present) {
  align(4);
  if (!present) {
    put_u32(&buf_, 0);
    return;
  }
  put_u32(&buf_, next_referent_);
  next_referent_ += 4;
}

void ndr_writer::put_optional_string(const std::optional<std::u16string>& s) {
  put_pointer(s.has_value());
  if (s) put_string(*s);
}

void ndr_writer::put_context(const context_handle& h) {
  align(4);
  put_bytes(&buf_, h.data(), h.size());
}

bool ndr_reader::get_long(int32_t* v) {
  uint32_t u;
  if (!r_.align(4) || !r_.read_u32(&u)) return false;
  *v = static_cast<int32_t>(u);
  return true;
}

bool ndr_reader::get_string(std::u16string* s) {
  uint32_t max_count, offset, actual;
  if (!r_.align(4) || !r_.read_u32(&max_count) || !r_.read_u32(&offset) || !r_.read_u32(&actual)) {
    return false;
  }
  if (offset != 0 || actual == 0 || actual > max_count || max_count > max_string_units) {
    return false;
  }
  const uint8_t* p;
  if (r_.remaining() / 2 < actual || !r_.read_span(size_t{actual} * 2, &p)) return false;
  if (get_u16(p + 2 * (actual - 1)) != 0) return false;  // no terminator
  s->clear();
  s->reserve(actual - 1);
  for (uint32_t i = 0; i + 1 < actual; ++i) {
    char16_t c = static_cast<char16_t>(get_u16(p + 2 * i));
    if (c == 0) return false;  // an embedded NUL would hide the rest of the text
    s->push_back(c);
  }
  return is_valid_utf16(*s);
}

bool ndr_reader::get_pointer(bool* present) {
  uint32_t id;
  if (!r_.align(4) || !r_.read_u32(&id)) return false;
  *present = id != 0;
  return true;
}

bool ndr_reader::get_optional_string(std::optional<std::u16string>* s) {
  bool present;
  if (!get_pointer(&present)) return false;
  if (!present) {
    s->reset();
    return true;
  }
  std::u16string v;
  if (!get_string(&v)) return false;
  *s = std::move(v);
  return true;
}

bool ndr_reader::get_context(context_handle* h) {
  const uint8_t* p;
  if (!r_.align(4) || !r_.read_span(h->size(), &p)) return false;
  std::copy(p, p + h->size(), h->begin());
  return true;
}

}  // namespace rpc
