#include "qorvex/src/clamav_db.h"

#include <openssl/evp.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/clamav_sigs.h"

namespace qorvex {
namespace {

// Bounds on hostile input: a line, a container's unpacked bytes and its members.
constexpr size_t kMaxLine = 64 << 10;
constexpr size_t kMaxUnpacked = 2ull << 30;
constexpr size_t kMaxMembers = 4096;
constexpr size_t kContainerHeader = 512;

bool all_digits(std::string_view s) {
  return !s.empty() && s.size() <= 9 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

enum class db_kind { file_hash, section_hash, allow, ignore, body, logical };

bool kind_of(std::string_view ext, db_kind* k) {
  if (ext == ".hdb" || ext == ".hsb")
    *k = db_kind::file_hash;
  else if (ext == ".mdb" || ext == ".msb")
    *k = db_kind::section_hash;
  else if (ext == ".fp" || ext == ".sfp")
    *k = db_kind::allow;
  else if (ext == ".ign2")
    *k = db_kind::ignore;
  else if (ext == ".ndb")
    *k = db_kind::body;
  else if (ext == ".ldb")
    *k = db_kind::logical;
  else
    return false;
  return true;
}

// One line of a hash list: hash:size:name or size:hash:name (sections), then optional
// functionality levels. Empty *skip when taken; a reason when the signature is skipped.
bool parse_hash_line(db_kind kind, std::string_view line, hash_entry* h, std::string* name,
                     std::string* skip, std::string* err) {
  std::vector<std::string_view> f = split_fields(line, ':');
  if (f.size() < 3 || f.size() > 5) return *err = "expected 3 to 5 fields separated by ':'", false;
  std::string_view hex = f[0], size = f[1];
  if (kind == db_kind::section_hash) std::swap(hex, size);
  if (!parse_hex_digest(hex, &h->digest, &h->type))
    return *err = "bad hash value (MD5, SHA-1 or SHA-256 in hex)", false;
  if (!parse_hash_size(size, &h->size)) return *err = "bad size", false;
  *name = std::string(f[2]);
  for (size_t i = 3; i < f.size(); ++i) {
    if (!f[i].empty() && !all_digits(f[i])) return *err = "bad functionality level", false;
  }
  *skip = level_skip(f.size() > 3 ? f[3] : "", f.size() > 4 ? f[4] : "");
  if (!valid_name(*name)) *skip = "name is empty, too long, or holds blanks or control characters";
  // The compiled format has room for section hashes, but the scan does not hash PE sections yet.
  if (kind == db_kind::section_hash) *skip = "PE section hashes are not matched by this engine";
  return true;
}

}  // namespace

std::string extension_of(std::string_view path) {
  size_t slash = path.rfind('/');
  std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = base.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return {};
  std::string ext(base.substr(dot));
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool is_db_extension(std::string_view ext) {
  db_kind k;
  return kind_of(ext, &k) || ext == ".cvd" || ext == ".cld" || ext == ".cud";
}

bool parse_db_file(std::string_view ext, std::string_view text, const std::string& label,
                   source_set* out, db_report* report, std::string* err) {
  db_kind kind;
  if (!kind_of(ext, &kind)) return *err = label + ": not a database file kind", false;
  report->label = label;
  uint32_t source = out->label_index(label);
  size_t hashes_before = out->hashes.size(), pool_before = out->name_pool.size();
  rule_set& rules = out->rules;
  size_t rules_before = rules.rules.size(), patterns_before = rules.patterns.size();
  uint32_t slots_before = rules.slots;
  auto fail = [&](uint32_t line, const std::string& why) {
    out->hashes.resize(hashes_before);  // nothing of a refused file stays
    out->name_pool.resize(pool_before);
    rules.rules.resize(rules_before);
    rules.patterns.resize(patterns_before);
    rules.slots = slots_before;
    report->rules.clear();
    *err = label + ":" + std::to_string(line) + ": " + why;
    return false;
  };
  uint32_t line_no = 0;
  while (!text.empty()) {
    size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.size() > kMaxLine) return fail(line_no, "line too long");
    if (line.find('\0') != std::string_view::npos) return fail(line_no, "a NUL byte in a line");
    if (kind == db_kind::ignore) {
      // A name, optionally followed by ':' and the digest of the signature's line.
      std::string name(line.substr(0, line.find(':')));
      if (name.empty()) return fail(line_no, "empty name");
      report->ignored.insert(name);
      continue;
    }
    hash_entry h;
    std::string name, skip, why;
    if (kind == db_kind::body || kind == db_kind::logical) {
      size_t before = rules.rules.size();
      if (!compile_clam_signature(line, kind == db_kind::logical, &rules, &name, &skip, &why))
        return fail(line_no, why);
      if (rules.rules.size() > before) {
        report->rules.push_back({uint32_t(before), line_no});
        ++report->compiled;
      }
    } else if (!parse_hash_line(kind, line, &h, &name, &skip, &why)) {
      return fail(line_no, why);
    }
    if (!skip.empty()) {
      report->skipped.push_back(label + ":" + std::to_string(line_no) + ": signature " + name +
                                " skipped: " + skip);
      continue;
    }
    if (kind == db_kind::body || kind == db_kind::logical) continue;
    h.allow = kind == db_kind::allow;
    h.section = kind == db_kind::section_hash;
    h.lenient = true;
    h.kind = kForeignKind;
    h.accuracy = kForeignAccuracy;
    h.source = source;
    h.line = line_no;
    if (!out->add_hash(h, h.allow ? std::string_view() : std::string_view(name)))
      return fail(line_no, "too many names");
    ++report->compiled;
  }
  // The file's rules form a namespace of their own, as each rule source does.
  if (kind == db_kind::body || kind == db_kind::logical) ++rules.namespaces;
  return true;
}

namespace {

bool gunzip(std::string_view in, std::string* out, std::string* err) {
  z_stream zs{};
  if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) return *err = "no memory", false;
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  zs.avail_in = uInt(std::min<size_t>(in.size(), UINT32_MAX));
  int rc = Z_OK;
  char chunk[1 << 16];
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(chunk);
    zs.avail_out = sizeof chunk;
    rc = inflate(&zs, Z_NO_FLUSH);
    out->append(chunk, sizeof chunk - zs.avail_out);
    if (out->size() > kMaxUnpacked) rc = Z_MEM_ERROR;
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return *err = "the archive is damaged or too large", false;
  return true;
}

uint64_t octal(std::string_view field) {
  uint64_t v = 0;
  for (char c : field) {
    if (c == '\0' || c == ' ') {
      if (v > 0) break;
      continue;
    }
    if (c < '0' || c > '7' || v > (uint64_t(1) << 40)) return ~uint64_t(0);
    v = v * 8 + uint64_t(c - '0');
  }
  return v;
}

std::string md5_hex(std::string_view data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), md, &n, EVP_md5(), nullptr);
  return to_hex(md, n);
}

bool untar(std::string_view tar, std::vector<db_member>* out, std::string* err) {
  while (tar.size() >= 512) {
    std::string_view head = tar.substr(0, 512);
    if (head.find_first_not_of('\0') == std::string_view::npos) return true;  // the end blocks
    uint64_t size = octal(head.substr(124, 12));
    uint64_t blocks = (size + 511) / 512 * 512;
    if (size > tar.size() || blocks > tar.size() - 512)
      return *err = "a member runs past the end of the archive", false;
    std::string name(head.substr(0, 100));
    name.resize(name.find('\0') == std::string::npos ? name.size() : name.find('\0'));
    char type = head[156];
    if ((type == '0' || type == '\0') && !name.empty()) {
      if (out->size() >= kMaxMembers) return *err = "too many members", false;
      out->push_back({name, std::string(tar.substr(512, size))});
    }
    tar.remove_prefix(512 + blocks);
  }
  if (!tar.empty()) return *err = "the archive ends inside a block", false;
  return true;
}

}  // namespace

bool unpack_container(std::string_view bytes, std::vector<db_member>* out, std::string* err) {
  // The header: "ClamAV-VDB:date:version:signatures:level:MD5 of the archive:signature:builder:
  // time", padded with blanks to 512 bytes. The digital signature needs the publisher's key,
  // which this project does not carry; the MD5 value is checked.
  if (bytes.size() < kContainerHeader || bytes.substr(0, 11) != "ClamAV-VDB:")
    return *err = "not a database container (no header)", false;
  std::vector<std::string_view> f = split_fields(bytes.substr(0, kContainerHeader), ':');
  std::string_view archive = bytes.substr(kContainerHeader);
  if (f.size() < 6) return *err = "damaged container header", false;
  if (md5_hex(archive) != f[5])
    return *err = "the container's checksum does not match its archive", false;
  std::string tar;
  if (archive.size() >= 2 && uint8_t(archive[0]) == 0x1f && uint8_t(archive[1]) == 0x8b) {
    if (!gunzip(archive, &tar, err)) return false;
  } else {
    tar.assign(archive);
  }
  return untar(tar, out, err);
}

void drop_names(const std::set<std::string>& names, source_set* set,
                std::vector<db_report>* reports) {
  if (names.empty()) return;
  auto report_for = [&](const std::string& label) -> db_report* {
    if (reports == nullptr) return nullptr;
    for (db_report& r : *reports) {
      if (r.label == label) return &r;
    }
    return nullptr;
  };
  auto drop = [&](const std::string& label, const std::string& where, std::string_view name) {
    db_report* r = report_for(label);
    if (r == nullptr) return;
    if (r->compiled > 0) --r->compiled;
    r->skipped.push_back(where + ": signature " + std::string(name) +
                         " skipped: dropped by an .ign2 list");
  };
  auto hash_ignored = [&](const hash_entry& h) {
    if (h.allow || names.count(std::string(set->name_of(h))) == 0) return false;
    drop(set->labels[h.source], set->where(h), set->name_of(h));
    return true;
  };
  set->hashes.erase(std::remove_if(set->hashes.begin(), set->hashes.end(), hash_ignored),
                    set->hashes.end());
  // A rule keeps its place (later rules are numbered after it) but never reports.
  if (reports != nullptr) {
    for (db_report& r : *reports) {
      for (const auto& [index, line] : r.rules) {
        compiled_rule& c = set->rules.rules[index];
        if (c.is_private || names.count(c.name) == 0) continue;
        c.is_private = true;
        drop(r.label, r.label + ":" + std::to_string(line), c.name);
      }
    }
  }
  auto ignored = [&](const source_entry& e) { return names.count(e.name) > 0; };
  for (const source_entry& e : set->entries) {
    if (ignored(e)) drop(e.where.substr(0, e.where.rfind(':')), e.where, e.name);
  }
  set->entries.erase(std::remove_if(set->entries.begin(), set->entries.end(), ignored),
                     set->entries.end());
}

}  // namespace qorvex
