// Archive members as objects: zip and gzip members are unpacked in memory (never to disk) and
// scanned like files, down to the archive depth, within limits that turn an archive bomb into a
// detection instead of a memory or time sink.
#ifndef QORVEX_SRC_ARCHIVE_SCAN_H_
#define QORVEX_SRC_ARCHIVE_SCAN_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/include/qorvex.h"
#include "qorvex/src/scan_context.h"

namespace qorvex {

// The separator between an archive and a member in an inner name: "a.zip" with inner name
// ">dir/b.gz>b" is member b of member dir/b.gz of a.zip.
inline constexpr char kMemberSeparator = '>';

struct archive_limits {
  int depth = 5;  // members nested deeper are not unpacked (status 5)
  // Work budgets: an archive that outgrows one is unpacked as far as the budget goes and the
  // member where it ran out gets status 1. Not a bomb by itself.
  uint64_t member_bytes = 128ull << 20;  // one member unpacked (what is held in memory per level)
  uint64_t total_bytes = 1ull << 30;     // all members of one file together
  uint32_t objects = 200000;             // zip entries and gzip members of one file, all levels
  // A bomb: unpacked over packed bytes beyond `ratio`, for one member or for the whole file (all
  // levels over the file's size), once past ratio_floor; or zip entries that overlap.
  uint64_t ratio = 100;
  uint64_t ratio_floor = 32ull << 20;
};

// One object of a file after the file's own content: an extended attribute or an archive member.
struct object_result {
  std::string inner;
  raw_result result;
  int32_t status = -1;  // when >= 0 the object was not scanned: raise this QVX_ST_* instead
};

// Where archive bytes come from: an open file or a member held in memory.
class byte_source {
 public:
  virtual ~byte_source() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly n bytes at offset; false when they are not all there.
  virtual bool read_at(uint64_t offset, void* buffer, size_t n) const = 0;
};

// Unpacks and scans the members of the archive in `source` (a zip or gzip; other recognised
// archive formats give status 4, anything else nothing), appending one result per member, in
// archive order, with inner names `prefix` + '>' + member name. Members that are archives are
// unpacked in turn while their depth allows. Stops at the first bomb, which it reports as a
// result with `bomb` set, and where a budget of the whole file runs out. Runs on any thread with
// that thread's context.
void scan_archive(scan_context& context, const byte_source& source, const std::string& name,
                  const archive_limits& limits, std::vector<object_result>* out);

// An open file as a byte source (pread).
class fd_source : public byte_source {
 public:
  fd_source(int fd, uint64_t size) : fd_(fd), size_(size) {}
  uint64_t size() const override { return size_; }
  bool read_at(uint64_t offset, void* buffer, size_t n) const override;

 private:
  int fd_;
  uint64_t size_;
};

// Bytes in memory as a byte source; the bytes must outlive it.
class memory_source : public byte_source {
 public:
  explicit memory_source(std::string_view data) : data_(data) {}
  uint64_t size() const override { return data_.size(); }
  bool read_at(uint64_t offset, void* buffer, size_t n) const override;

 private:
  std::string_view data_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_ARCHIVE_SCAN_H_
