// What one thread needs to scan with one definitions set: the matcher's scratch and stream, a
// hash state and a read buffer, all reused from file to file. Not thread-safe: one per thread.
#ifndef QORVEX_SRC_SCAN_CONTEXT_H_
#define QORVEX_SRC_SCAN_CONTEXT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "qorvex/src/defs_set.h"
#include "qorvex/src/digests.h"
#include "qorvex/src/rule_matches.h"

struct hs_stream;

namespace qorvex {

// What the content of one object matched, before an object's settings filter it.
struct raw_result {
  int error = 0;                  // errno of a failed read; 0 when the whole object was read
  std::vector<uint32_t> entries;  // matched entry indices, ascending, at most kMaxHits
  std::vector<uint64_t> ends;     // for each entry, where its first match ends
  bool allowed = false;           // the content is on the allow-list
  uint64_t bytes = 0;             // bytes read
  bool bomb = false;              // an archive bomb: unpacking it passed the limits
  std::string head;               // the first bytes of the content (up to kHeadSize)
};

inline constexpr size_t kMaxHits = 16;
inline constexpr size_t kHeadSize = 8;

class scan_context {
 public:
  // The set must outlive every scan; the context itself may be destroyed after the set.
  explicit scan_context(const defs_set* defs);
  ~scan_context();
  scan_context(const scan_context&) = delete;
  scan_context& operator=(const scan_context&) = delete;

  const defs_set* defs() const { return defs_; }

  // Reads fd from offset 0 until end of file or `size` bytes, whichever comes first,
  // matching and (when the set has hashes of this size) hashing in the same pass. `size` is the
  // file's size when it was opened: end anchors are measured from it, and a file that grows
  // while it is read is scanned as it was.
  void scan_fd(int fd, uint64_t size, raw_result* out);
  // Scans a buffer held in memory (an extended attribute's value).
  void scan_bytes(std::string_view data, raw_result* out);

 private:
  void begin(uint64_t size, raw_result* out);
  bool feed(const char* data, size_t n);
  void finish();
  void add_hit(uint32_t entry, uint64_t end);
  static int on_match(unsigned id, unsigned long long from, unsigned long long to, unsigned flags,
                      void* self);

  const defs_set* defs_;
  hs_scratch* scratch_ = nullptr;
  hs_stream* stream_ = nullptr;
  bool matcher_ok_ = false;
  digests hash_;
  std::vector<char> buffer_;
  // State of the object being scanned.
  raw_result* out_ = nullptr;
  uint64_t size_ = 0;
  // The rules' match records (null when the set has no rules) and where the object's bytes are
  // read from for their conditions: the file, or the bytes in memory.
  std::unique_ptr<rule_matches> rules_;
  // The first bytes of a file scanned with rules: the integer reads of conditions mostly fall
  // there (headers), and are served without a read call.
  std::string rule_prefix_;
  rule_matches::reader read_;  // the object's bytes, for rules
  int fd_ = -1;
  std::string_view data_;
};

}  // namespace qorvex

#endif  // QORVEX_SRC_SCAN_CONTEXT_H_
