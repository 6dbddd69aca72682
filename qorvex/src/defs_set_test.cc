#include "qorvex/src/defs_set.h"

#include <gtest/gtest.h>

#include <functional>

#include "qorvex/src/byte_io.h"
#include "qorvex/src/defs_registry.h"
#include "qorvex/src/defs_writer.h"
#include "qorvex/src/digests.h"
#include "qorvex/src/scan_context.h"
#include "qorvex/src/sha256.h"
#include "qorvex/src/source_parser.h"
#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

compiled_defs compile_test_source() {
  source_set set;
  std::string err;
  compiled_defs out;
  EXPECT_TRUE(parse_source(test_source(), "t.src", &set, &err)) << err;
  EXPECT_TRUE(compile_defs(set, "202612101530", &out, &err)) << err;
  return out;
}

// Puts a fresh checksum in the header, so a test reaches the checks behind it.
std::string resign(std::string file) {
  auto sum = sha256::of(std::string_view(file).substr(kHeaderSize));
  file.replace(40, 32, reinterpret_cast<const char*>(sum.data()), 32);
  return file;
}

// A signatures file made of the given sections, well signed.
std::string file_with_sections(
    const std::vector<std::tuple<uint32_t, uint32_t, std::string>>& sections) {
  std::string payload;
  for (const auto& [tag, count, bytes] : sections) {
    put_u32(&payload, tag);
    put_u32(&payload, count);
    put_u64(&payload, bytes.size());
    payload += bytes;
    payload.append((8 - bytes.size() % 8) % 8, '\0');
  }
  std::string file(kDefsMagic);
  put_u32(&file, kFormatVersion);
  put_u32(&file, uint32_t(defs_role::signatures));
  file += "202612101530";
  put_u32(&file, uint32_t(sections.size()));
  put_u64(&file, payload.size());
  file += std::string(32, '\0') + payload;
  return resign(file);
}

std::string entry_record(uint32_t name, uint8_t kind) {
  std::string r;
  put_u32(&r, name);
  for (uint8_t b : {kind, uint8_t(1), uint8_t(0), uint8_t(0)}) put_u8(&r, b);
  put_u32(&r, 0);
  return r;
}

std::string one_name(const std::string& name) {
  std::string r;
  put_u16(&r, uint16_t(name.size()));
  return r + name;
}

TEST(DefsSetTest, DecodesWhatTheCompilerWrites) {
  compiled_defs c = compile_test_source();
  defs_file sig, companion;
  std::string err;
  ASSERT_TRUE(decode_defs_file(c.signatures, defs_role::signatures, &sig, &err)) << err;
  ASSERT_TRUE(decode_defs_file(c.companion, defs_role::companion, &companion, &err)) << err;
  EXPECT_EQ("202612101530", sig.id);
  EXPECT_EQ(2u, sig.version);
  std::vector<std::string_view> names;
  for (size_t i = 0; i < sig.name_count(); ++i) names.push_back(sig.name(i));
  EXPECT_EQ((std::vector<std::string_view>{"Test-Adware", "Test-Hash", "Test-Head", "Test-Heur",
                                           "Test-Virus"}),
            names);
  EXPECT_EQ(5u, sig.entry_count());
  EXPECT_EQ(4u, sig.patterns.size());
  EXPECT_EQ(1u, sig.hash_count());
  EXPECT_EQ(1u, companion.allow_count());
  EXPECT_FALSE(sig.database.empty());
}

// Every damaged file is refused by decoding and, through the entry point, by object creation.
TEST(DefsSetTest, RefusesDamagedFiles) {
  compiled_defs good = compile_test_source();
  const std::string& s = good.signatures;
  struct damage {
    const char* what;
    std::function<std::string()> make;
  } cases[] = {
      {"empty file", [] { return std::string(); }},
      {"bad magic",
       [&] {
         std::string f = s;
         f[0] = 'X';
         return f;
       }},
      {"newer format version",
       [&] {
         std::string f = s;
         f[8] = char(kFormatVersion + 1);
         return f;
       }},
      {"format version 0",
       [&] {
         std::string f = s;
         f[8] = 0;
         return f;
       }},
      {"companion file in the signatures' place", [&] { return good.companion; }},
      {"identifier not digits",
       [&] {
         std::string f = s;
         f[20] = 'x';
         return f;
       }},
      {"truncated header", [&] { return s.substr(0, 40); }},
      {"truncated payload", [&] { return s.substr(0, s.size() - 1); }},
      {"half a file", [&] { return s.substr(0, s.size() / 2); }},
      {"a byte too many", [&] { return s + '\0'; }},
      {"payload byte flipped",
       [&] {
         std::string f = s;
         f[kHeaderSize + 20] ^= 1;
         return f;
       }},
      {"checksum byte flipped",
       [&] {
         std::string f = s;
         f[50] ^= 1;
         return f;
       }},
      {"more sections than present",
       [&] {
         std::string f = s;
         f[28] = 9;
         return f;
       }},
      {"section runs past the end",
       [] {
         std::string f = file_with_sections({{kSectionNames, 1, one_name("A")}});
         f[kHeaderSize + 8] = 100;
         return resign(f);
       }},
      {"name index outside the table",
       [] {
         return file_with_sections(
             {{kSectionNames, 1, one_name("A")}, {kSectionEntries, 1, entry_record(1, 1)}});
       }},
      {"kind above 30",
       [] {
         return file_with_sections(
             {{kSectionNames, 1, one_name("A")}, {kSectionEntries, 1, entry_record(0, 31)}});
       }},
      {"record count larger than the section",
       [] {
         return file_with_sections({{kSectionNames, 2, one_name("A")}});
       }},
      {"patterns without a database",
       [] {
         std::string p;
         for (uint32_t v : {0u, 0u, 2u, 0u}) put_u32(&p, v);
         return file_with_sections({{kSectionNames, 1, one_name("A")},
                                    {kSectionEntries, 1, entry_record(0, 1)},
                                    {kSectionPatterns, 1, p}});
       }},
  };
  for (const damage& d : cases) {
    SCOPED_TRACE(d.what);
    std::string bytes = d.make();
    defs_file f;
    std::string err;
    EXPECT_FALSE(decode_defs_file(bytes, defs_role::signatures, &f, &err));
    EXPECT_FALSE(err.empty());
    scoped_temp_dir dir;
    write_file(dir / "sigbase-v2.def", bytes);
    write_file(dir / "qorvexcon-v2.def", good.companion);
    qvx_handle h = 0;
    EXPECT_EQ(QVX_R_INVALID_DATA,
              qvx_create_object(0, QVX_TYPE_V2, dir.path().c_str(), nullptr, nullptr, &h));
  }
}

TEST(DefsSetTest, PortableDatabaseLoadsAndMatches) {
  source_set src;
  std::string err;
  compiled_defs c;
  ASSERT_TRUE(parse_source(test_source(), "t.src", &src, &err)) << err;
  ASSERT_TRUE(compile_defs(src, "202612101530", &c, &err, true)) << err;
  defs_file sig, companion;
  ASSERT_TRUE(decode_defs_file(c.signatures, defs_role::signatures, &sig, &err)) << err;
  ASSERT_TRUE(decode_defs_file(c.companion, defs_role::companion, &companion, &err)) << err;
  std::unique_ptr<defs_set> set;
  ASSERT_TRUE(defs_set::create(std::move(sig), std::move(companion), &set, &err)) << err;
  scan_context ctx(set.get());
  raw_result r;
  ctx.scan_bytes(kVirusText, &r);
  ASSERT_EQ(1u, r.entries.size());
  defs_entry e;
  ASSERT_TRUE(set->entry(r.entries[0], &e));
  EXPECT_EQ("Test-Virus", set->name(e.name));
}

TEST(DefsSetTest, RefusesAPatternDatabaseItCannotLoad) {
  std::string p;
  for (uint32_t v : {0u, 0u, 2u, 0u}) put_u32(&p, v);
  std::string bytes = file_with_sections({{kSectionNames, 1, one_name("A")},
                                          {kSectionEntries, 1, entry_record(0, 1)},
                                          {kSectionPatterns, 1, p},
                                          {kSectionDatabase, 0, std::string(64, 'z')}});
  defs_file sig, companion;
  std::string err;
  ASSERT_TRUE(decode_defs_file(bytes, defs_role::signatures, &sig, &err)) << err;
  std::unique_ptr<defs_set> set;
  EXPECT_FALSE(defs_set::create(std::move(sig), std::move(companion), &set, &err));
}

TEST(DefsSetTest, SkipsSectionsOfALaterMinorAddition) {
  std::string bytes = file_with_sections({{kSectionNames, 1, one_name("A")}, {99, 3, "later"}});
  defs_file f;
  std::string err;
  EXPECT_TRUE(decode_defs_file(bytes, defs_role::signatures, &f, &err)) << err;
  EXPECT_EQ(1u, f.name_count());
}

TEST(DefsRegistryTest, MissingFilesAndUnknownTypes) {
  scoped_temp_dir dir;
  compile_into(test_source(), dir.path());
  std::shared_ptr<const defs_set> set;
  std::string err;
  EXPECT_EQ(QVX_R_INVALID_DATA, acquire_defs(dir.path(), 7, &set, &err));
  EXPECT_EQ(QVX_R_INVALID_DATA, acquire_defs("", QVX_TYPE_V2, &set, &err));
  // Types 2 and 18 read files of other names, which this folder does not hold.
  EXPECT_EQ(QVX_R_INVALID_DATA, acquire_defs(dir.path(), QVX_TYPE_V1, &set, &err));
  EXPECT_EQ(QVX_R_INVALID_DATA, acquire_defs(dir.path(), QVX_TYPE_V2S, &set, &err));
  EXPECT_NE(std::string::npos, err.find("sigbase-v2s.def")) << err;
  unlink((dir / "qorvexcon-v2.def").c_str());
  EXPECT_EQ(QVX_R_INVALID_DATA, acquire_defs(dir.path(), QVX_TYPE_V2, &set, &err));
}

TEST(DefsRegistryTest, ObjectsShareOneSetWithOrWithoutTrailingSlash) {
  scoped_temp_dir dir;
  compile_into(test_source(), dir.path());
  std::shared_ptr<const defs_set> a, b, c;
  std::string err;
  ASSERT_EQ(QVX_R_SUCCESS, acquire_defs(dir.path(), QVX_TYPE_V2, &a, &err)) << err;
  ASSERT_EQ(QVX_R_SUCCESS, acquire_defs(dir.path(), QVX_TYPE_ZIP, &b, &err)) << err;
  ASSERT_EQ(QVX_R_SUCCESS, acquire_defs(dir.path() + "/", QVX_TYPE_ANDROID, &c, &err)) << err;
  EXPECT_EQ(a.get(), b.get());
  EXPECT_EQ("202612101530", c->signatures_id());
  EXPECT_EQ(join_path("/a/", "f"), "/a/f");
  EXPECT_EQ(join_path("/a", "f"), "/a/f");
}

TEST(DefsRegistryTest, OtherObjectTypesReadTheirOwnFile) {
  scoped_temp_dir dir;
  compile_into(test_source(), dir.path());
  rename((dir / "sigbase-v2.def").c_str(), (dir / "sigbase.def").c_str());
  std::shared_ptr<const defs_set> set;
  std::string err;
  EXPECT_EQ(QVX_R_SUCCESS, acquire_defs(dir.path(), QVX_TYPE_V1, &set, &err)) << err;
  EXPECT_EQ(QVX_R_INVALID_DATA, acquire_defs(dir.path(), QVX_TYPE_V2, &set, &err));
}

}  // namespace
}  // namespace qorvex

namespace qorvex {
namespace {

std::string digest_hex(hash_type t, const std::string& data) {
  digests d;
  d.begin(1u << int(t));
  d.update(data.data(), data.size());
  d.finish();
  return to_hex(d.value(t), digest_length(t));
}

// Each hash kind, with its size or any size, and allow-list values of each kind.
TEST(DefsSetTest, MatchesEveryHashKindWithOrWithoutSize) {
  std::string md5_file = "known by md5\n", sha1_file = "known by sha1\n", any = "any size\n";
  std::string allowed = "allowed by sha1\n";
  auto line = [](const char* name, const std::string& hex, const std::string& size) {
    return std::string("hash ") + name + " kind=1 : " + hex + " " + size + "\n";
  };
  std::string src = line("By-Md5", digest_hex(hash_type::md5, md5_file), "13") +
                    line("By-Sha1", digest_hex(hash_type::sha1, sha1_file), "14") +
                    line("Any-Size", digest_hex(hash_type::md5, any), "*") +
                    line("Wrong-Size", digest_hex(hash_type::sha1, md5_file), "99") +
                    "allow ok : " + digest_hex(hash_type::sha1, allowed) + " *\n";
  auto set = compile_set(src);
  ASSERT_TRUE(set);
  scan_context ctx(set.get());
  struct {
    std::string data;
    const char* name;  // null: no detection
    bool allowed;
  } cases[] = {{md5_file, "By-Md5", false},
               {sha1_file, "By-Sha1", false},
               {any, "Any-Size", false},
               {"other\n", nullptr, false},
               {allowed, nullptr, true}};
  for (const auto& c : cases) {
    raw_result r;
    ctx.scan_bytes(c.data, &r);
    EXPECT_EQ(c.allowed, r.allowed) << c.data;
    if (c.name == nullptr) {
      EXPECT_TRUE(r.entries.empty()) << c.data;
      continue;
    }
    ASSERT_EQ(1u, r.entries.size()) << c.data;
    defs_entry e;
    ASSERT_TRUE(set->entry(r.entries[0], &e));
    EXPECT_EQ(c.name, set->name(e.name));
  }
}

TEST(DefsSetTest, RefusesTheSameHashTwiceInASource) {
  source_set src;
  std::string err;
  compiled_defs out;
  std::string h = " : " + std::string(32, 'a') + " 5\n";
  ASSERT_TRUE(parse_source("hash A kind=1" + h + "hash B kind=1" + h, "d.src", &src, &err));
  EXPECT_FALSE(compile_defs(src, "202612101530", &out, &err));
  EXPECT_EQ("d.src:2: duplicate hash", err);
}

// A file of format version 1 (names, entries and a SHA-256 table decoded at load) still loads.
TEST(DefsSetTest, LoadsVersionOneFiles) {
  std::string content = "version one\n";
  auto sum = sha256::of(content);
  std::string hashes(reinterpret_cast<const char*>(sum.data()), 32);
  put_u64(&hashes, content.size());
  put_u32(&hashes, 0);
  std::string bytes = file_with_sections({{kSectionNames, 1, one_name("Old")},
                                          {kSectionEntries, 1, entry_record(0, 3)},
                                          {kSectionHashes, 1, hashes}});
  bytes[8] = 1;
  bytes = resign(bytes);
  defs_file sig, companion;
  std::string err;
  ASSERT_TRUE(decode_defs_file(bytes, defs_role::signatures, &sig, &err)) << err;
  std::unique_ptr<defs_set> set;
  ASSERT_TRUE(defs_set::create(std::move(sig), std::move(companion), &set, &err)) << err;
  scan_context ctx(set.get());
  raw_result r;
  ctx.scan_bytes(content, &r);
  ASSERT_EQ(std::vector<uint32_t>{0}, r.entries);
  EXPECT_EQ("Old", set->name(0));
}

}  // namespace
}  // namespace qorvex
