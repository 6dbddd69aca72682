#include "qorvex/src/testing.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/crc32.h"
#include "qorvex/src/defs_writer.h"
#include "qorvex/src/sha256.h"
#include "qorvex/src/source_parser.h"

namespace qorvex {
namespace fs = std::filesystem;

scoped_temp_dir::scoped_temp_dir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/qorvex_test.XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

scoped_temp_dir::~scoped_temp_dir() {
  std::error_code ec;
  // Make folders a test locked writable again so everything can go.
  for (auto it = fs::recursive_directory_iterator(
           path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  ASSERT_TRUE(out.good()) << path;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {
std::string hex(const digest& d) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : d) out += {digits[b >> 4], digits[b & 15]};
  return out;
}
}  // namespace

std::string test_source() {
  std::string hashed = kHashedText, allowed = kAllowedText;
  return "id 202612101530\n"
         "pattern Test-Virus kind=1 accuracy=1 : \"MARK-VIRUS-ONE\"\n"
         "pattern Test-Adware kind=2 accuracy=0 : \"MARK-ADWARE-TWO\"\n"
         "pattern Test-Heur kind=24 accuracy=2 heuristics=3 : \"MARK-HEUR-THREE\"\n"
         "pattern Test-Head kind=4 qualifiers=2560 at=0 : \"HEAD\" 4? ?? 7f\n"
         "hash Test-Hash kind=22 : " +
         hex(sha256::of(hashed)) + " " + std::to_string(hashed.size()) +
         "\n"
         "allow known-clean : " +
         hex(sha256::of(allowed)) + " " + std::to_string(allowed.size()) + "\n";
}

void compile_into(const std::string& source, const std::string& dir, const std::string& id) {
  source_set set;
  std::string err;
  ASSERT_TRUE(parse_source(source, "test.src", &set, &err)) << err;
  compiled_defs out;
  ASSERT_TRUE(compile_defs(set, id, &out, &err)) << err;
  write_file(dir + "/sigbase-v2.def", out.signatures);
  write_file(dir + "/qorvexcon-v2.def", out.companion);
}

std::shared_ptr<const defs_set> load_compiled(const source_set& set, std::string* err) {
  compiled_defs out;
  defs_file sig, companion;
  std::unique_ptr<defs_set> loaded;
  if (!compile_defs(set, "202612101530", &out, err)) return nullptr;
  // The tables of a compiled file are used where they lie: the bytes live as long as the set.
  auto bytes = std::make_shared<compiled_defs>(std::move(out));
  if (!decode_defs_file(bytes->signatures, defs_role::signatures, &sig, err) ||
      !decode_defs_file(bytes->companion, defs_role::companion, &companion, err)) {
    return nullptr;
  }
  sig.storage = bytes;
  if (!defs_set::create(std::move(sig), std::move(companion), &loaded, err)) return nullptr;
  return std::shared_ptr<const defs_set>(std::move(loaded));
}

std::shared_ptr<const defs_set> compile_set(const std::string& source) {
  source_set set;
  std::string err;
  std::shared_ptr<const defs_set> loaded;
  if (parse_source(source, "test.src", &set, &err)) loaded = load_compiled(set, &err);
  EXPECT_TRUE(loaded) << err;
  return loaded;
}

namespace {

// Deflates all of `data` in one call; window_bits picks raw deflate (negative) or gzip (+16).
std::string deflate_all(const std::string& data, int window_bits, gz_header* header,
                        size_t extra_room) {
  z_stream zs{};
  deflateInit2(&zs, 9, Z_DEFLATED, window_bits, 9, Z_DEFAULT_STRATEGY);
  if (header != nullptr) deflateSetHeader(&zs, header);
  std::string out(deflateBound(&zs, uLong(data.size())) + extra_room, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = uInt(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = uInt(out.size());
  deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

}  // namespace

std::string deflate_raw(const std::string& data) {
  return deflate_all(data, -MAX_WBITS, nullptr, 0);
}

std::string make_gzip(const std::string& data, const std::string& stored_name) {
  gz_header header{};
  std::string name = stored_name;
  if (name.empty()) return deflate_all(data, 16 + MAX_WBITS, nullptr, 64);
  header.name = reinterpret_cast<Bytef*>(name.data());
  return deflate_all(data, 16 + MAX_WBITS, &header, 64 + name.size());
}

namespace {
struct zip_record {
  std::string name;
  uint16_t flags, method;
  uint32_t crc;
  uint64_t csize, usize, offset;
};

std::string central_directory(const std::vector<zip_record>& records, uint64_t cd_offset) {
  std::string cd;
  for (const zip_record& r : records) {
    put_u32(&cd, 0x02014b50);
    put_u16(&cd, 20);
    put_u16(&cd, 20);
    put_u16(&cd, r.flags);
    put_u16(&cd, r.method);
    put_u32(&cd, 0);  // time and date
    put_u32(&cd, r.crc);
    put_u32(&cd, uint32_t(r.csize));
    put_u32(&cd, uint32_t(r.usize));
    put_u16(&cd, uint16_t(r.name.size()));
    for (int i = 0; i < 4; ++i) put_u16(&cd, 0);  // extra, comment, disk, internal attributes
    put_u32(&cd, 0);
    put_u32(&cd, uint32_t(r.offset));
    cd += r.name;
  }
  std::string end;
  put_u32(&end, 0x06054b50);
  put_u32(&end, 0);
  put_u16(&end, uint16_t(records.size()));
  put_u16(&end, uint16_t(records.size()));
  put_u32(&end, uint32_t(cd.size()));
  put_u32(&end, uint32_t(cd_offset));
  put_u16(&end, 0);
  return cd + end;
}

std::string local_header(const zip_record& r) {
  std::string h;
  put_u32(&h, 0x04034b50);
  put_u16(&h, 20);
  put_u16(&h, r.flags);
  put_u16(&h, r.method);
  put_u32(&h, 0);
  put_u32(&h, r.crc);
  put_u32(&h, uint32_t(r.csize));
  put_u32(&h, uint32_t(r.usize));
  put_u16(&h, uint16_t(r.name.size()));
  put_u16(&h, 0);
  return h + r.name;
}
}  // namespace

std::string make_zip(const std::vector<zip_member>& members) {
  std::string out;
  std::vector<zip_record> records;
  for (const zip_member& m : members) {
    bool deflated = m.deflate && !(m.flags & 1);
    std::string body = deflated ? deflate_raw(m.data) : m.data;
    uint16_t method = m.method >= 0 ? uint16_t(m.method) : deflated ? 8 : 0;
    uint32_t crc = crc32_of(m.data);
    zip_record r{m.name, m.flags, method, crc, body.size(), m.data.size(), out.size()};
    out += local_header(r) + body;
    records.push_back(r);
  }
  return out + central_directory(records, out.size());
}

std::string make_overlapping_zip(const std::string& data, int copies) {
  uint32_t crc = crc32_of(data);
  zip_record first{"a", 0, 0, crc, data.size(), data.size(), 0};
  std::string out = local_header(first) + data;
  std::vector<zip_record> records;
  for (int i = 0; i < copies; ++i) {
    zip_record r = first;
    r.name = "a";  // the same name length keeps every entry pointing at a valid header
    records.push_back(r);
  }
  return out + central_directory(records, out.size());
}

engine_session::engine_session(const std::string& defs_dir, int32_t type) {
  create_result_ = qvx_create_object(0, type, defs_dir.c_str(), on_event, this, &handle_);
}

engine_session::~engine_session() {
  if (create_result_ == QVX_R_SUCCESS) qvx_close_object(handle_);
}

int32_t engine_session::set_int(int32_t property, int32_t value, int32_t index) {
  return qvx_set_property(handle_, property, index, &value, sizeof value);
}

int32_t engine_session::set_u64(int32_t property, uint64_t value) {
  return qvx_set_property(handle_, property, 0, &value, sizeof value);
}

int32_t engine_session::set_text(int32_t property, const std::string& value) {
  return qvx_set_property(handle_, property, 0, value.data(), value.size());
}

int32_t engine_session::run(int32_t command, const std::string& path) {
  return qvx_run_command(handle_, command, path.c_str(), 0, 0);
}

uint64_t engine_session::counter(int32_t property) {
  uint64_t v = 0;
  EXPECT_EQ(QVX_R_SUCCESS, qvx_get_property(handle_, property, 0, &v, sizeof v)) << property;
  return v;
}

std::string engine_session::text(int32_t property, int32_t index) {
  char buf[10240] = {};
  if (qvx_get_property(handle_, property, index, buf, sizeof buf) != QVX_R_SUCCESS) return "<fail>";
  return buf;
}

int32_t engine_session::on_event(qvx_handle object, int32_t event, void* context) {
  auto* self = static_cast<engine_session*>(context);
  EXPECT_EQ(self->handle_, object);
  int32_t status = -1;
  qvx_get_property(object, QVX_P_STATUS, 0, &status, sizeof status);
  std::string line = std::to_string(event) + " " + std::to_string(status) + " " +
                     self->text(QVX_P_OBJECT_NAME) + self->text(QVX_P_INNER_NAME);
  if (event == QVX_EV_DETECTION) {
    int32_t kind = -1, accuracy = -1;
    uint32_t qualifiers = 0;
    qvx_get_property(object, QVX_P_KIND, 0, &kind, sizeof kind);
    qvx_get_property(object, QVX_P_ACCURACY, 0, &accuracy, sizeof accuracy);
    qvx_get_property(object, QVX_P_QUALIFIERS, 0, &qualifiers, sizeof qualifiers);
    line += " " + std::to_string(kind) + " " + std::to_string(accuracy) + " " +
            std::to_string(qualifiers) + " " + self->text(QVX_P_MALWARE_NAME);
  }
  if (event == QVX_EV_NAMES) line = "128";
  self->events.push_back(line);
  return event == QVX_EV_DETECTION ? self->detection_answer : 0;
}

}  // namespace qorvex
