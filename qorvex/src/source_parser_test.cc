#include "qorvex/src/source_parser.h"

#include <gtest/gtest.h>

namespace qorvex {
namespace {

TEST(SourceParserTest, ReadsEveryLineType) {
  source_set set;
  std::string err;
  ASSERT_TRUE(
      parse_source("# comment\n"
                   "\n"
                   "   # indented comment\r\n"
                   "id 202612101530\n"
                   "pattern A.B/C-1 kind=24 accuracy=3 qualifiers=2560 heuristics=4 at=16 : 4d 5a\n"
                   "pattern End kind=0 end=2 : \"ab\"\r\n"
                   "hash H kind=22 : " +
                       std::string(64, 'a') +
                       " 123\n"
                       "allow label : " +
                       std::string(64, 'B') +
                       " 0\n"
                       "hash M kind=1 : " +
                       std::string(32, 'c') +
                       " *\n"
                       "hash S kind=2 : " +
                       std::string(40, 'd') + " 7\n",
                   "x.src", &set, &err))
      << err;
  EXPECT_EQ("202612101530", set.id);
  ASSERT_EQ(2u, set.entries.size());
  ASSERT_EQ(4u, set.hashes.size());
  const source_entry& a = set.entries[0];
  EXPECT_EQ("A.B/C-1", a.name);
  EXPECT_EQ(24, a.kind);
  EXPECT_EQ(3, a.accuracy);
  EXPECT_EQ(2560u, a.qualifiers);
  EXPECT_EQ(4, a.heuristics);
  EXPECT_EQ(anchor_type::start, a.anchor);
  EXPECT_EQ(16u, a.offset);
  EXPECT_EQ("x.src:5", a.where);
  EXPECT_EQ(anchor_type::end, set.entries[1].anchor);
  EXPECT_EQ(1, set.entries[1].accuracy);  // the default
  const hash_entry& h = set.hashes[0];
  EXPECT_FALSE(h.allow);
  EXPECT_EQ("H", set.name_of(h));
  EXPECT_EQ(22, h.kind);
  EXPECT_EQ(hash_type::sha256, h.type);
  EXPECT_EQ(123u, h.size);
  EXPECT_EQ(0xaa, h.digest[31]);
  EXPECT_EQ("x.src:7", set.where(h));
  EXPECT_TRUE(set.hashes[1].allow);
  EXPECT_EQ(0xbb, set.hashes[1].digest[0]);
  EXPECT_EQ(hash_type::md5, set.hashes[2].type);
  EXPECT_EQ(kAnySize, set.hashes[2].size);
  EXPECT_EQ(0xcc, set.hashes[2].digest[15]);
  EXPECT_EQ(hash_type::sha1, set.hashes[3].type);
  EXPECT_EQ(7u, set.hashes[3].size);
}

TEST(SourceParserTest, RefusesBadLinesWithTheirLineNumber) {
  std::string sha = std::string(64, 'a');
  const std::string cases[] = {
      "patern X kind=1 : 4d 5a",
      "pattern X : 4d 5a",          // no kind
      "pattern X kind=31 : 4d 5a",  // kind out of range
      "pattern X kind=1 accuracy=5 : 4d 5a",
      "pattern X kind=1 heuristics=5 : 4d 5a",
      "pattern X kind=1 at=1 end=1 : 4d 5a",  // two anchors
      "pattern X kind=1 at=-1 : 4d 5a",
      "pattern X kind=1 colour=1 : 4d 5a",
      "pattern X kind=1 4d 5a",   // no ':'
      "pattern  kind=1 : 4d 5a",  // the option taken as a name, then no kind
      "pattern X kind=1 : 4d",
      "hash X kind=1 : abc 12",
      "hash X kind=1 : " + std::string(48, 'a') + " 12",  // no digest is 24 bytes long
      "hash X kind=1 : AAAA 18446744073709551615",        // all bits set means `*`
      "hash X kind=1 : AAAA **",
      "hash X kind=1 at=0 : AAAA 12",
      "allow X kind=1 : AAAA 12",
      "id 2026",
      "id 202613101530",                   // month 13
      "id 202612101530\nid 202612101531",  // two different ids
  };
  for (const std::string& text : cases) {
    std::string line(text);
    if (line.find("AAAA") != std::string::npos) line.replace(line.find("AAAA"), 4, sha);
    source_set set;
    std::string err;
    EXPECT_FALSE(parse_source("# first\n" + line + "\n", "f.src", &set, &err)) << text;
    EXPECT_EQ(0u, err.find("f.src:")) << text << " -> " << err;
  }
}

TEST(SourceParserTest, IdentifierForm) {
  EXPECT_TRUE(valid_defs_id("202612101530"));
  EXPECT_TRUE(valid_defs_id("199901010000"));
  for (const char* bad : {"", "20261210153", "2026121015300", "20261210153a", "202600101530",
                          "202612321530", "202612102430", "202612101560", "196912101530"}) {
    EXPECT_FALSE(valid_defs_id(bad)) << bad;
  }
}

}  // namespace
}  // namespace qorvex
