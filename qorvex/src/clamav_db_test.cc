#include "qorvex/src/clamav_db.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "qorvex/src/byte_io.h"

namespace qorvex {
namespace {

const std::string kMd5(32, 'a'), kSha1(40, 'b'), kSha256(64, 'c');

TEST(ClamavDbTest, ReadsHashListsAndAllowLists) {
  source_set set;
  db_report report;
  std::string err;
  std::string text = kMd5 + ":10:Test.One\r\n\n" + kSha1 + ":*:Test.Two:73\n" + kSha256 +
                     ":7:Test.Three:51:60\n" + kMd5 + ":1:Bad Name\n";
  ASSERT_TRUE(parse_db_file(".hdb", text, "t.hdb", &set, &report, &err)) << err;
  EXPECT_EQ(2u, report.compiled);
  ASSERT_EQ(2u, report.skipped.size());
  EXPECT_EQ("t.hdb:4: signature Test.Three skipped: meant for older engine levels only",
            report.skipped[0]);
  ASSERT_EQ(2u, set.hashes.size());
  EXPECT_EQ(hash_type::md5, set.hashes[0].type);
  EXPECT_EQ(10u, set.hashes[0].size);
  EXPECT_EQ("Test.One", set.name_of(set.hashes[0]));
  EXPECT_EQ(kAnySize, set.hashes[1].size);
  EXPECT_EQ("t.hdb:3", set.where(set.hashes[1]));

  db_report allow;
  ASSERT_TRUE(parse_db_file(".sfp", kSha256 + ":5:clean.bin\n", "t.sfp", &set, &allow, &err));
  EXPECT_TRUE(set.hashes.back().allow);
}

// A malformed line refuses the whole file, naming the line; nothing of it stays in the set.
TEST(ClamavDbTest, RefusesMalformedLinesWhole) {
  const std::string cases[] = {
      kMd5 + ":10",                    // too few fields
      kMd5 + ":10:N:1:2:3",            // too many
      std::string(31, 'a') + ":10:N",  // digest length
      std::string(32, 'g') + ":10:N",  // not hex
      kMd5 + ":-1:N",                  // size
      kMd5 + ":10:N:x",                // level
      std::string(70000, 'a'),         // line too long
      kMd5 + std::string(1, '\0') + ":1:N",
  };
  for (const std::string& bad : cases) {
    source_set set;
    db_report report;
    std::string err;
    EXPECT_FALSE(
        parse_db_file(".hsb", kSha1 + ":1:Good\n" + bad + "\n", "x.hsb", &set, &report, &err))
        << bad.substr(0, 60);
    EXPECT_EQ(0u, err.find("x.hsb:2: ")) << err;
    EXPECT_TRUE(set.hashes.empty());
    EXPECT_TRUE(set.name_pool.empty());
  }
}

TEST(ClamavDbTest, IgnoreListsDropNamesFromEverySource) {
  source_set set;
  std::vector<db_report> reports(2);
  std::string err;
  ASSERT_TRUE(parse_db_file(".hdb", kMd5 + ":1:Drop.Me\n" + kSha1 + ":2:Keep.Me\n", "a.hdb", &set,
                            &reports[0], &err));
  ASSERT_TRUE(parse_db_file(".ign2", "Drop.Me:0123\n", "b.ign2", &set, &reports[1], &err));
  drop_names(reports[1].ignored, &set, &reports);
  ASSERT_EQ(1u, set.hashes.size());
  EXPECT_EQ("Keep.Me", set.name_of(set.hashes[0]));
  EXPECT_EQ(1u, reports[0].compiled);
  EXPECT_EQ("a.hdb:1: signature Drop.Me skipped: dropped by an .ign2 list", reports[0].skipped[0]);
}

std::string tar_of(const std::string& name, const std::string& body) {
  std::string head(512, '\0');
  head.replace(0, name.size(), name);
  char size[12];
  std::snprintf(size, sizeof size, "%011o", unsigned(body.size()));
  head.replace(124, 11, size, 11);
  head[156] = '0';
  std::string padded = body + std::string((512 - body.size() % 512) % 512, '\0');
  return head + padded + std::string(1024, '\0');
}

std::string md5_of(const std::string& data) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(data.data(), data.size(), md, &n, EVP_md5(), nullptr);
  return to_hex(md, n);
}

// A container header with the archive's MD5 value, or `md5` when given.
std::string header_for(const std::string& archive, std::string md5 = "") {
  if (md5.empty()) md5 = md5_of(archive);
  std::string h = "ClamAV-VDB:10 Dec 2026:1:1:90:" + md5 + ":X:test:0";
  return h + std::string(512 - h.size(), ' ') + archive;
}

TEST(ClamavDbTest, UnpacksContainersAndRefusesDamagedOnes) {
  std::string tar = tar_of("a.hdb", kMd5 + ":1:N\n");
  std::vector<db_member> members;
  std::string err;
  ASSERT_TRUE(unpack_container(header_for(tar), &members, &err)) << err;
  ASSERT_EQ(1u, members.size());
  EXPECT_EQ("a.hdb", members[0].name);
  EXPECT_EQ(kMd5 + ":1:N\n", members[0].bytes);

  std::string bad_size = tar;
  bad_size.replace(124, 11, "77777777777");
  const std::string cases[] = {
      "ClamAV-VDB:short",
      header_for(tar, std::string(32, '0')),  // checksum mismatch
      header_for(bad_size),                   // member past the end
      header_for(tar.substr(0, 700)),
      header_for("\x1f\x8b garbage"),  // a broken gzip stream
  };
  for (const std::string& c : cases) {
    members.clear();
    EXPECT_FALSE(unpack_container(c, &members, &err)) << c.substr(0, 40);
  }
}

}  // namespace
}  // namespace qorvex
