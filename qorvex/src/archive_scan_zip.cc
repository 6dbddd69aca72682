#include "qorvex/src/archive_scan_zip.h"

#include <algorithm>
#include <utility>

#include "qorvex/src/byte_io.h"

namespace qorvex::zip {
namespace {

constexpr uint64_t kMaxCentralDirectory = 64ull << 20;

// Where the central directory lies and how many entries the end record says it holds.
struct directory_place {
  uint64_t entries = 0, offset = 0, size = 0;
  bool zip64 = false;
};

// The central directory's place, from the end record, or from its zip64 form when a field is
// saturated and a zip64 locator is there. Without a locator a saturated field is the real value
// (a zip of exactly 65,535 entries needs no zip64 record).
bool find_central_directory(const byte_source& s, directory_place* place) {
  uint64_t tail_size = std::min<uint64_t>(s.size(), 22 + 65535);
  std::string tail(size_t(tail_size), '\0');
  if (tail_size < 22 || !s.read_at(s.size() - tail_size, tail.data(), tail.size())) return false;
  size_t at = tail.rfind(std::string_view("PK\5\6", 4));
  if (at == std::string::npos || at + 22 > tail.size()) return false;
  auto* e = reinterpret_cast<const unsigned char*>(tail.data() + at);
  place->entries = le16(e + 10);
  place->size = le32(e + 12);
  place->offset = le32(e + 16);
  if (place->entries == 0xffff || place->size == 0xffffffff || place->offset == 0xffffffff) {
    unsigned char loc[20], rec[56];
    uint64_t end_at = s.size() - tail_size + at;
    if (end_at >= 20 && s.read_at(end_at - 20, loc, 20) && le32(loc) == 0x07064b50) {
      if (!s.read_at(le64(loc + 8), rec, 56) || le32(rec) != 0x06064b50) return false;
      place->entries = le64(rec + 32);
      place->size = le64(rec + 40);
      place->offset = le64(rec + 48);
      place->zip64 = true;
    }
  }
  return place->offset <= s.size() && place->size <= s.size() - place->offset;
}

// Reads the zip64 extra field of a central entry for the values that did not fit.
void apply_zip64(std::string_view extra, entry* e) {
  byte_reader r(extra);
  uint16_t id = 0, len = 0;
  std::string_view body;
  while (r.u16(&id) && r.u16(&len) && r.bytes(len, &body)) {
    if (id != 1) continue;
    byte_reader b(body);
    if (e->usize == 0xffffffff) b.u64(&e->usize);
    if (e->csize == 0xffffffff) b.u64(&e->csize);
    if (e->offset == 0xffffffff) b.u64(&e->offset);
    return;
  }
}

}  // namespace

directory read_directory(const byte_source& s, uint64_t max_entries, std::vector<entry>* out) {
  directory_place place;
  if (!find_central_directory(s, &place) || place.size > kMaxCentralDirectory)
    return directory::damaged;
  std::string cd(size_t(place.size), '\0');
  if (!s.read_at(place.offset, cd.data(), cd.size())) return directory::damaged;
  byte_reader r(cd);
  while (out->size() < max_entries && r.remaining() >= 4 &&
         le32(reinterpret_cast<const unsigned char*>(cd.data() + r.position())) == 0x02014b50) {
    std::string_view fixed, name, extra, comment;
    if (!r.bytes(46, &fixed)) return directory::damaged;
    auto* p = reinterpret_cast<const unsigned char*>(fixed.data());
    entry e;
    e.flags = le16(p + 8);
    e.method = le16(p + 10);
    e.crc = le32(p + 16);
    e.csize = le32(p + 20);
    e.usize = le32(p + 24);
    e.name_length = le16(p + 28);
    e.offset = le32(p + 42);
    if (!r.bytes(e.name_length, &name) || !r.bytes(le16(p + 30), &extra) ||
        !r.bytes(le16(p + 32), &comment)) {
      return directory::damaged;
    }
    apply_zip64(extra, &e);
    e.name = std::string(name);
    out->push_back(std::move(e));
  }
  if (out->size() == max_entries) return directory::ok;  // the rest is past the budget
  uint64_t found = out->size();
  bool agrees = place.zip64 ? found == place.entries : (found & 0xffff) == (place.entries & 0xffff);
  return agrees ? directory::ok : directory::miscounted;
}

bool entries_overlap(const std::vector<entry>& entries) {
  std::vector<std::pair<uint64_t, uint64_t>> spans;
  for (const entry& e : entries)
    spans.emplace_back(e.offset, e.offset + 30 + e.name_length + e.csize);
  std::sort(spans.begin(), spans.end());
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].first < spans[i - 1].second) return true;
  }
  return false;
}

}  // namespace qorvex::zip
