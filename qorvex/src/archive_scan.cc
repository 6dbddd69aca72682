#include "qorvex/src/archive_scan.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "common/platform/io.h"
#include "qorvex/src/archive_scan_zip.h"
#include "qorvex/src/crc32.h"

namespace qorvex {

bool fd_source::read_at(uint64_t offset, void* buffer, size_t n) const {
  if (offset > size_ || n > size_ - offset) return false;
  return common::pread_exact(fd_, buffer, n, offset);
}

bool memory_source::read_at(uint64_t offset, void* buffer, size_t n) const {
  if (offset > data_.size() || n > data_.size() - offset) return false;
  std::memcpy(buffer, data_.data() + offset, n);
  return true;
}

namespace {

enum class format { none, zip, gzip, unsupported };

format detect(const byte_source& s) {
  char m[8] = {};
  size_t n = size_t(std::min<uint64_t>(s.size(), sizeof m));
  if (!s.read_at(0, m, n)) return format::none;
  std::string_view head(m, n);
  auto starts = [&](std::string_view magic) { return head.substr(0, magic.size()) == magic; };
  if (starts({"PK\3\4", 4}) || starts({"PK\5\6", 4})) return format::zip;
  if (starts("\x1f\x8b")) return format::gzip;
  // Recognised, but not unpacked by this engine: rar, 7z, xz, bzip2, cab.
  if (starts("Rar!\x1a\x07") || starts("7z\xbc\xaf\x27\x1c") ||
      starts({"\xfd"
              "7zXZ\0",
              6}) ||
      (starts("BZh") && n >= 4 && m[3] >= '1' && m[3] <= '9') || starts({"MSCF\0\0\0\0", 8})) {
    return format::unsupported;
  }
  return format::none;
}

// Member names go into event texts: control characters become '?', and length is bounded.
std::string clean_name(std::string_view name) {
  std::string out(name.substr(0, 1024));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return out.empty() ? "?" : out;
}

std::string base_of(const std::string& name) {
  size_t cut = name.find_last_of("/>");
  return cut == std::string::npos ? name : name.substr(cut + 1);
}

// The state of one file's archive scan: what has been unpacked so far, against the limits.
// Evidence of a bomb (overlapping entries, bytes far beyond what they came from) ends the file's
// unpacking with a detection; an ordinary archive that only outgrows a work budget is unpacked
// as far as the budget goes, and the member where it ran out is reported as not scanned.
class unpacker {
 public:
  unpacker(scan_context& ctx, const archive_limits& limits, uint64_t file_size,
           std::vector<object_result>* out)
      : ctx_(ctx), limits_(limits), file_size_(std::max<uint64_t>(file_size, 1)), out_(out) {}

  // The members of an archive, at the given depth.
  void archive(const byte_source& s, const std::string& prefix, const std::string& name,
               int depth) {
    switch (detect(s)) {
      case format::zip:
        return zip(s, prefix, depth);
      case format::gzip:
        return gzip(s, prefix, name, depth);
      case format::unsupported:
        return status(prefix, QVX_ST_UNSUPPORTED);
      case format::none:
        return;
    }
  }

 private:
  // over_budget: the member was cut at a work budget; what was unpacked is scanned.
  enum class unpacked { ok, damaged, bomb, over_budget };

  void status(const std::string& inner, int32_t code) { out_->push_back({inner, {}, code}); }

  void bomb(const std::string& inner) {
    object_result r;
    r.inner = inner;
    r.result.bomb = true;
    out_->push_back(std::move(r));
    stopped_ = true;
  }

  // The budget of entries is spent: this member and the rest of the file are not scanned.
  bool out_of_entries(const std::string& inner) {
    if (entries_ < limits_.objects) {
      ++entries_;
      return false;
    }
    status(inner, QVX_ST_NOT_SCANNED);
    stopped_ = true;
    return true;
  }

  // Judges a member that has made `made` bytes from `packed` bytes so far.
  unpacked judge(uint64_t made, uint64_t packed) {
    uint64_t ratio = made / std::max<uint64_t>(packed, 1);
    uint64_t all = total_ + made;
    // The whole file's ratio catches what each member hides: many members of a moderate size,
    // or archives nested so that every level multiplies the one below.
    if ((made > limits_.ratio_floor && ratio > limits_.ratio) ||
        (all > limits_.ratio_floor && all / file_size_ > limits_.ratio)) {
      return unpacked::bomb;
    }
    // Past the member budget the ratio alone decides, whatever the floor: memory is what the
    // member budget keeps.
    if (made > limits_.member_bytes)
      return ratio > limits_.ratio ? unpacked::bomb : unpacked::over_budget;
    if (all > limits_.total_bytes) {
      spent_ = true;
      return unpacked::over_budget;
    }
    return unpacked::ok;
  }

  // Scans one unpacked member and, when it is an archive the depth allows, its members; then
  // its status when it was damaged or cut short.
  void member(const std::string& data, const std::string& inner, int depth, unpacked how) {
    if (how != unpacked::over_budget || !data.empty()) {
      object_result r;
      r.inner = inner;
      ctx_.scan_bytes(data, &r.result);
      out_->push_back(std::move(r));
    }
    if (how == unpacked::over_budget) {
      status(inner, QVX_ST_NOT_SCANNED);
      if (spent_) stopped_ = true;
      return;
    }
    if (how == unpacked::damaged) status(inner, QVX_ST_DAMAGED);
    memory_source inner_source(data);
    if (detect(inner_source) == format::none) return;
    if (depth + 1 > limits_.depth) return status(inner, QVX_ST_TOO_DEEP);
    archive(inner_source, inner, base_of(inner), depth + 1);
  }

  // Inflates from s at offset (at most `packed` bytes) into *out, within the limits.
  unpacked inflate_from(const byte_source& s, uint64_t offset, uint64_t packed, bool gzip,
                        uint64_t size_hint, std::string* out, std::string* gzip_name) {
    z_stream zs{};
    if (inflateInit2(&zs, gzip ? 16 + MAX_WBITS : -MAX_WBITS) != Z_OK) return unpacked::damaged;
    gz_header header{};
    char name_buf[256] = {};
    if (gzip) {
      header.name = reinterpret_cast<Bytef*>(name_buf);
      header.name_max = sizeof name_buf - 1;
      inflateGetHeader(&zs, &header);
    }
    out->clear();
    // The hint comes from the file: deflate never expands more than about 1032 to 1, so a hint
    // beyond that is a lie and would only reserve memory for nothing.
    constexpr uint64_t kMaxDeflateRatio = 1032;
    const uint64_t plausible = std::min(packed, uint64_t(1) << 40) * kMaxDeflateRatio + 64;
    out->reserve(size_t(std::min({size_hint, limits_.member_bytes, plausible}) + 1));
    unsigned char in[64 << 10];
    // Output goes through a fixed chunk and is appended as made: growing *out by a whole chunk
    // per call would zero 256 KiB for every call, and a file of many tiny gzip members makes a
    // call of every 20 bytes.
    constexpr size_t kOutChunk = 256 << 10;
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kOutChunk]);
    uint64_t consumed = 0;
    int rc = Z_OK;
    unpacked result = unpacked::ok;
    while (result == unpacked::ok) {
      if (zs.avail_in == 0) {
        size_t n = size_t(std::min<uint64_t>(sizeof in, packed - consumed));
        if (n == 0 || !s.read_at(offset + consumed, in, n)) {
          result = unpacked::damaged;  // the stream ends before its end marker
          break;
        }
        consumed += n;
        zs.next_in = in;
        zs.avail_in = unsigned(n);
      }
      zs.next_out = chunk.get();
      zs.avail_out = unsigned(kOutChunk);
      rc = inflate(&zs, Z_NO_FLUSH);
      out->append(reinterpret_cast<const char*>(chunk.get()), kOutChunk - zs.avail_out);
      result = judge(out->size(), consumed);
      if (result != unpacked::ok) {
        // Keep only what the budgets allow.
        if (result == unpacked::over_budget)
          out->resize(size_t(std::min(
              {uint64_t(out->size()), limits_.member_bytes, limits_.total_bytes - total_})));
      } else if (rc == Z_STREAM_END) {
        // Several gzip members in a row read as one stream.
        unsigned char next[2];
        uint64_t at = offset + consumed - zs.avail_in;
        if (!gzip || !s.read_at(at, next, 2) || next[0] != 0x1f || next[1] != 0x8b) break;
        inflateReset(&zs);
      } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
        result = unpacked::damaged;
      }
    }
    inflateEnd(&zs);
    total_ += out->size();
    if (gzip_name != nullptr) *gzip_name = name_buf;
    return result;
  }

  void zip(const byte_source& s, const std::string& prefix, int depth) {
    std::vector<zip::entry> entries;
    // One entry past the budget is read, to name the member where the budget ran out.
    zip::directory d = zip::read_directory(s, limits_.objects - entries_ + 1, &entries);
    if (d == zip::directory::damaged) return status(prefix, QVX_ST_DAMAGED);
    if (zip::entries_overlap(entries)) return bomb(prefix);
    if (d == zip::directory::miscounted) status(prefix, QVX_ST_DAMAGED);
    std::string data;
    for (const zip::entry& e : entries) {
      if (stopped_) return;
      std::string inner = prefix + kMemberSeparator + clean_name(e.name);
      if (out_of_entries(inner)) return;
      if (!e.name.empty() && e.name.back() == '/') continue;  // a folder
      if (e.flags & 1) {
        status(inner, QVX_ST_ENCRYPTED);
        continue;
      }
      if (e.method != 0 && e.method != 8) {
        status(inner, QVX_ST_UNSUPPORTED);
        continue;
      }
      unsigned char local[30];
      if (!s.read_at(e.offset, local, 30) || zip::le32(local) != 0x04034b50) {
        status(inner, QVX_ST_DAMAGED);
        continue;
      }
      uint64_t start = e.offset + 30 + zip::le16(local + 26) + zip::le16(local + 28);
      if (start > s.size() || e.csize > s.size() - start) {
        status(inner, QVX_ST_DAMAGED);
        continue;
      }
      unpacked u = unpacked::ok;
      if (e.method == 8) {
        u = inflate_from(s, start, e.csize, false, e.usize, &data, nullptr);
      } else if (e.csize > limits_.member_bytes) {
        continue;  // stored bytes are in the archive's own content, which was scanned already
      } else if ((u = judge(e.csize, e.csize)) == unpacked::over_budget) {
        status(inner, QVX_ST_NOT_SCANNED);  // the stored bytes were scanned with the archive
        stopped_ = spent_;
        continue;
      } else if (u == unpacked::ok) {
        data.resize(size_t(e.csize));
        total_ += e.csize;
        if (!s.read_at(start, data.data(), data.size())) u = unpacked::damaged;
      }
      if (u == unpacked::bomb) return bomb(inner);
      if (u == unpacked::ok && crc32_of(data) != e.crc) {
        u = unpacked::damaged;
      }
      member(data, inner, depth, u);
    }
  }

  void gzip(const byte_source& s, const std::string& prefix, const std::string& name, int depth) {
    // The last four bytes hold the unpacked size (modulo 4 GiB): a hint for the buffer only.
    unsigned char trailer[4] = {};
    uint64_t hint = s.size() >= 4 && s.read_at(s.size() - 4, trailer, 4) ? zip::le32(trailer) : 0;
    std::string data, stored_name;
    bool counted = entries_ < limits_.objects;
    unpacked u =
        counted ? inflate_from(s, 0, s.size(), true, hint, &data, &stored_name) : unpacked::ok;
    std::string member_name = base_of(stored_name);
    if (member_name.empty()) {
      member_name = name;
      if (member_name.size() > 4 && member_name.ends_with(".tgz")) {
        member_name.replace(member_name.size() - 4, 4, ".tar");
      } else if (member_name.size() > 3 && member_name.ends_with(".gz")) {
        member_name.resize(member_name.size() - 3);
      }
    }
    std::string inner = prefix + kMemberSeparator + clean_name(member_name);
    if (out_of_entries(inner)) return;
    if (u == unpacked::bomb) return bomb(inner);
    member(data, inner, depth, u);
  }

  scan_context& ctx_;
  const archive_limits& limits_;
  const uint64_t file_size_;  // the bytes of the file on disk, for the whole file's ratio
  std::vector<object_result>* out_;
  uint64_t total_ = 0;    // bytes unpacked from the file, all levels
  uint64_t entries_ = 0;  // zip entries and gzip members met, all levels
  bool spent_ = false;    // the file's budget of unpacked bytes is spent
  bool stopped_ = false;
};

}  // namespace

void scan_archive(scan_context& context, const byte_source& source, const std::string& name,
                  const archive_limits& limits, std::vector<object_result>* out) {
  if (limits.depth < 1) return;
  unpacker u(context, limits, source.size(), out);
  u.archive(source, "", name, 1);
}

}  // namespace qorvex
