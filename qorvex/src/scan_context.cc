#include "qorvex/src/scan_context.h"

#include <hs/hs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/platform/eintr.h"

namespace qorvex {
namespace {
// Big enough that the per-call costs of read() and the matcher vanish, small enough to stay in
// the second-level cache.
constexpr size_t kBufferSize = 256 << 10;
constexpr size_t kRulePrefix = 4096;
}  // namespace

scan_context::scan_context(const defs_set* defs) : defs_(defs) {
  if (!defs_->rules().rules.empty()) rules_ = std::make_unique<rule_matches>(defs_);
  read_ = [this](uint64_t offset, void* out, size_t n) {
    if (offset <= rule_prefix_.size() && rule_prefix_.size() - offset >= n) {
      std::memcpy(out, rule_prefix_.data() + offset, n);
      return true;
    }
    if (fd_ < 0) {
      if (offset > data_.size() || data_.size() - offset < n) return false;
      std::memcpy(out, data_.data() + offset, n);
      return true;
    }
    return pread(fd_, out, n, off_t(offset)) == ssize_t(n);
  };
  if (defs_->database() == nullptr) return;
  scratch_ = defs_->clone_scratch();
  matcher_ok_ = scratch_ != nullptr && hs_open_stream(defs_->database(), 0, &stream_) == HS_SUCCESS;
}

scan_context::~scan_context() {
  // Without a scratch the close reports nothing and only frees the stream, so it does not touch
  // a database that may be gone already.
  if (stream_ != nullptr) hs_close_stream(stream_, nullptr, nullptr, nullptr);
  hs_free_scratch(scratch_);
}

int scan_context::on_match(unsigned id, unsigned long long, unsigned long long to, unsigned,
                           void* self) {
  auto* ctx = static_cast<scan_context*>(self);
  const auto& patterns = ctx->defs_->patterns();
  if (id >= patterns.size()) {
    if (ctx->rules_) ctx->rules_->add(uint32_t(id - patterns.size()), to);
    return 0;
  }
  const defs_pattern& p = patterns[id];
  if (p.anchor == anchor_type::start && to != uint64_t(p.offset) + p.length) return 0;
  if (p.anchor == anchor_type::end && (ctx->size_ < p.offset || to != ctx->size_ - p.offset))
    return 0;
  ctx->add_hit(p.entry, to);
  return 0;
}

void scan_context::add_hit(uint32_t entry, uint64_t end) {
  defs_entry unused;
  if (!defs_->entry(entry, &unused)) return;  // a damaged record of a mapped file
  std::vector<uint32_t>& hits = out_->entries;
  auto it = std::lower_bound(hits.begin(), hits.end(), entry);
  if ((it != hits.end() && *it == entry) || hits.size() >= kMaxHits) return;
  out_->ends.insert(out_->ends.begin() + (it - hits.begin()), end);
  hits.insert(it, entry);
}

void scan_context::begin(uint64_t size, raw_result* out) {
  *out = raw_result();
  out_ = out;
  size_ = size;
  if (rules_) rules_->begin(size, &read_);
  rule_prefix_.clear();
  hash_.begin(defs_->hash_types(size));
  // Without its scratch the matcher cannot run; say so rather than call the object clean.
  if (defs_->database() != nullptr && !matcher_ok_) out->error = ENOMEM;
}

bool scan_context::feed(const char* data, size_t n) {
  if (out_->head.size() < kHeadSize) {
    out_->head.append(data, std::min(n, kHeadSize - out_->head.size()));
  }
  if (rules_ && rule_prefix_.size() == out_->bytes && rule_prefix_.size() < kRulePrefix) {
    rule_prefix_.append(data, std::min(n, kRulePrefix - rule_prefix_.size()));
  }
  out_->bytes += n;
  if (hash_.types() != 0) hash_.update(data, n);
  if (!matcher_ok_) return true;
  return hs_scan_stream(stream_, data, unsigned(n), 0, scratch_, on_match, this) == HS_SUCCESS;
}

void scan_context::finish() {
  if (matcher_ok_) hs_reset_stream(stream_, 0, scratch_, on_match, this);
  if (rules_ && out_->error == 0) {
    rules_->finish([this](uint32_t entry) { add_hit(entry, size_); });
  }
  if (hash_.types() == 0 || out_->error != 0) return;
  hash_.finish();
  // A file that changed size while it was read has no trustworthy whole-file hash.
  if (out_->bytes != size_) return;
  for (int t = 0; t < kHashTypes; ++t) {
    if ((hash_.types() & (1u << t)) == 0) continue;
    int64_t entry = defs_->find_hash(hash_type(t), hash_.value(hash_type(t)), size_);
    if (entry >= 0) add_hit(uint32_t(entry), size_);
    if (defs_->allowed(hash_type(t), hash_.value(hash_type(t)), size_)) out_->allowed = true;
  }
}

namespace {
// The holes of a sparse file read as zeros; they are fed to the matcher from here instead of
// being read, so a huge sparse file costs no page cache.
const char kZeros[kBufferSize] = {};

// Where the next data region at or after pos starts (*data) and ends (*end), both at most size;
// the bytes before *data are a hole. Without hole support every byte counts as data. False when
// the file ends before pos (it shrank while it was read).
bool next_data_region(int fd, uint64_t pos, uint64_t size, uint64_t* data, uint64_t* end) {
  off_t d = lseek(fd, off_t(pos), SEEK_DATA);
  if (d < 0 && errno == ENXIO) {
    // No data after pos: a hole up to the end of the file, or the end itself.
    struct stat st;
    if (fstat(fd, &st) != 0 || uint64_t(st.st_size) <= pos) return false;
    *data = *end = std::min<uint64_t>(uint64_t(st.st_size), size);
    return true;
  }
  *data = d < 0 ? pos : std::min<uint64_t>(uint64_t(d), size);
  off_t h = lseek(fd, off_t(*data), SEEK_HOLE);
  *end = h < 0 || uint64_t(h) <= *data ? size : std::min<uint64_t>(uint64_t(h), size);
  return true;
}
}  // namespace

void scan_context::scan_fd(int fd, uint64_t size, raw_result* out) {
  fd_ = fd;
  begin(size, out);
  if (out->error != 0) return;
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  uint64_t pos = 0;
  while (pos < size && out->error == 0) {
    uint64_t data = 0, end = 0;
    if (!next_data_region(fd, pos, size, &data, &end)) break;
    for (; pos < data && out->error == 0; pos += std::min<uint64_t>(data - pos, kBufferSize)) {
      if (!feed(kZeros, size_t(std::min<uint64_t>(data - pos, kBufferSize)))) out->error = EIO;
    }
    while (pos < end && out->error == 0) {
      ssize_t n = common::retry_eintr([&] {
        return pread(fd, buffer_.data(), size_t(std::min<uint64_t>(end - pos, buffer_.size())),
                     off_t(pos));
      });
      if (n < 0) {
        out->error = errno;
      } else if (n == 0) {
        finish();  // the file shrank while it was read: scan what there was
        return;
      } else if (!feed(buffer_.data(), size_t(n))) {
        out->error = EIO;
      } else {
        pos += uint64_t(n);
      }
    }
  }
  finish();
}

void scan_context::scan_bytes(std::string_view data, raw_result* out) {
  fd_ = -1;
  data_ = data;
  begin(data.size(), out);
  if (out->error != 0) return;
  if (!data.empty() && !feed(data.data(), data.size())) out->error = EIO;
  finish();
}

}  // namespace qorvex
