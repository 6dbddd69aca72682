// Archive members as objects, through the C entry points: depth, member names, statuses of
// members that are not scanned, and bombs.
#include "qorvex/src/archive_scan.h"

#include <gtest/gtest.h>

#include "qorvex/src/testing.h"

namespace qorvex {
namespace {

class ArchiveScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    compile_into(test_source(), defs_.path());
    session_ = std::make_unique<engine_session>(defs_.path());
    ASSERT_EQ(QVX_R_SUCCESS, session_->create_result());
    ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_EVENT_MASK,
                                               QVX_EV_DETECTION | QVX_EV_STATUS | QVX_EV_ACTION));
  }
  // Scans one file; returns its events other than clean statuses, with the folder cut off.
  std::vector<std::string> scan(const std::string& name, const std::string& content) {
    write_file(dir_ / name, content);
    session_->events.clear();
    result_ = session_->run(QVX_CMD_SCAN_FILE, dir_ / name);
    std::vector<std::string> out;
    for (std::string e : session_->events) {
      size_t at = e.find(dir_.path() + "/");
      if (at != std::string::npos) e.erase(at, dir_.path().size() + 1);
      if (e.rfind("32 0 ", 0) != 0) out.push_back(e);
    }
    return out;
  }

  scoped_temp_dir defs_, dir_;
  std::unique_ptr<engine_session> session_;
  int32_t result_ = 0;
};

using events = std::vector<std::string>;

TEST_F(ArchiveScanTest, MembersAreObjectsAndTheFileIsOfInterestOnce) {
  std::string zip = make_zip(
      {{"docs/clean.txt", "clean"}, {"docs/v.txt", kVirusText}, {"stored.txt", kVirusText, false}});
  EXPECT_EQ((events{"16 0 a.zip 1 1 0 Test-Virus",  // the stored member shows in the raw bytes
                    "16 0 a.zip>docs/v.txt 1 1 0 Test-Virus",
                    "16 0 a.zip>stored.txt 1 1 0 Test-Virus", "512 6 a.zip"}),
            scan("a.zip", zip));
  EXPECT_EQ(QVX_R_DETECTED, result_);
  EXPECT_EQ(1u, session_->counter(QVX_P_FILES_PROCESSED));
  EXPECT_EQ(4u, session_->counter(QVX_P_OBJECTS_PROCESSED));
  EXPECT_EQ(3u, session_->counter(QVX_P_OBJECTS_DETECTED));
}

TEST_F(ArchiveScanTest, ZipInsideGzipByDepth) {
  std::string gz = make_gzip(make_zip({{"v.txt", kVirusText}}), "inner.zip");
  EXPECT_EQ((events{"16 0 t.gz>inner.zip>v.txt 1 1 0 Test-Virus", "512 6 t.gz"}), scan("t.gz", gz));
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_ARCHIVE_DEPTH, 1));
  EXPECT_EQ((events{"32 5 t.gz>inner.zip"}), scan("t.gz", gz));
  EXPECT_EQ(QVX_R_SUCCESS, result_);
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_ARCHIVE_DEPTH, 0));
  EXPECT_EQ((events{}), scan("t.gz", gz));
}

TEST_F(ArchiveScanTest, GzipMemberNames) {
  EXPECT_EQ((events{"16 0 x.txt.gz>x.txt 1 1 0 Test-Virus", "512 6 x.txt.gz"}),
            scan("x.txt.gz", make_gzip(kVirusText)));
  EXPECT_EQ((events{"16 0 y.tgz>y.tar 1 1 0 Test-Virus", "512 6 y.tgz"}),
            scan("y.tgz", make_gzip(kVirusText)));
  EXPECT_EQ((events{"16 0 z.gz>dir?name 1 1 0 Test-Virus", "512 6 z.gz"}),
            scan("z.gz", make_gzip(kVirusText, "dir\nname")));
  // Two gzip members in a row unpack as one.
  EXPECT_EQ((events{"16 0 w.gz>w 1 1 0 Test-Virus", "512 6 w.gz"}),
            scan("w.gz", make_gzip("MARK-VIR") + make_gzip("US-ONE")));
}

TEST_F(ArchiveScanTest, MembersThatAreNotScanned) {
  zip_member encrypted{"secret.txt", "xxxxxxxxxxxx", false, 1};
  zip_member bzip2{"b.txt", "data", false, 0, 12};
  EXPECT_EQ((events{"32 3 e.zip>secret.txt", "32 4 e.zip>b.txt"}),
            scan("e.zip", make_zip({encrypted, bzip2})));
  // A bad checksum: the member is still scanned, then reported damaged.
  std::string zip = make_zip({{"v.txt", kVirusText}});
  zip[zip.find(std::string_view("PK\1\2", 4)) + 16] ^= 1;
  EXPECT_EQ((events{"16 0 c.zip>v.txt 1 1 0 Test-Virus", "32 2 c.zip>v.txt", "512 6 c.zip"}),
            scan("c.zip", zip));
  // No central directory at all.
  EXPECT_EQ((events{"32 2 t.zip"}), scan("t.zip", zip.substr(0, 40)));
  EXPECT_EQ((events{"32 4 r.rar"}), scan("r.rar", std::string("Rar!\x1a\x07\x00 rest", 13)));
  EXPECT_EQ((events{"32 4 s.7z"}), scan("s.7z", std::string("7z\xbc\xaf\x27\x1c rest")));
}

TEST_F(ArchiveScanTest, OverlappingEntriesAreABomb) {
  EXPECT_EQ((events{"16 0 o.zip 5 2 0 ", "512 6 o.zip"}),
            scan("o.zip", make_overlapping_zip(std::string(1000, 'a'), 50)));
}

TEST_F(ArchiveScanTest, RatioBombs) {
  std::string zeros(64 << 20, '\0');
  EXPECT_EQ((events{"16 0 r.zip>zeros 5 2 0 ", "512 6 r.zip"}),
            scan("r.zip", make_zip({{"zeros", zeros}, {"v.txt", kVirusText}})));
  // Each member is small, but together they unpack to far more than the file holds.
  std::vector<zip_member> flat;
  for (int i = 0; i < 600; ++i)
    flat.push_back({"z" + std::to_string(i), zeros.substr(0, 64 << 10)});
  std::string flat_zip = make_zip(flat);
  EXPECT_EQ((events{"16 0 f.zip>z512 5 2 0 ", "512 6 f.zip"}), scan("f.zip", flat_zip));
  // Nesting that multiplies: every member stays under the floor, the whole file does not.
  std::string level = make_zip({{"0.dll", zeros.substr(0, 1 << 20)}});
  for (int depth = 0; depth < 3; ++depth) {
    std::vector<zip_member> copies(16, zip_member{"c.zip", level});
    level = make_zip(copies);
  }
  events nested = scan("n.zip", level);
  ASSERT_EQ(2u, nested.size());
  EXPECT_TRUE(nested[0].starts_with("16 0 n.zip>c.zip>c.zip>c.zip>0.dll 5 2 0")) << nested[0];
  // Past the member budget the ratio decides even under the floor.
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_LIMITS, 1 << 20, 6));
  EXPECT_EQ((events{"16 0 r.zip>zeros 5 2 0 ", "512 6 r.zip"}),
            scan("r.zip", make_zip({{"zeros", zeros.substr(0, 2 << 20)}})));
  // Kind 5 hidden: nothing is reported, the scan still ends.
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_u64(QVX_P_HIDDEN_KINDS, 1 << 5));
  EXPECT_EQ((events{}), scan("f.zip", flat_zip));
}

// An ordinary archive bigger than a budget is scanned as far as the budget goes; the member where
// it ran out gets status 1 and the members after it are still scanned when only that member was
// too big.
TEST_F(ArchiveScanTest, MemberBudgetIsNotABomb) {
  ASSERT_EQ(QVX_R_SUCCESS, session_->set_int(QVX_P_LIMITS, 1 << 20, 6));
  std::string text;
  for (int i = 0; text.size() < (2 << 20); ++i) text += std::to_string(i * 7919) + " ";
  EXPECT_EQ((events{"32 1 s.zip>big", "16 0 s.zip>v.txt 1 1 0 Test-Virus", "512 6 s.zip"}),
            scan("s.zip", make_zip({{"big", text}, {"v.txt", kVirusText}})));
  // What was unpacked before the budget ran out is scanned.
  EXPECT_EQ((events{"16 0 h.zip>big 1 1 0 Test-Virus", "32 1 h.zip>big", "512 6 h.zip"}),
            scan("h.zip", make_zip({{"big", kVirusText + text}})));
}

TEST_F(ArchiveScanTest, BudgetsOfTheWholeFile) {
  auto set = compile_set(test_source());
  scan_context context(set.get());
  struct budget_case {
    const char* what;
    archive_limits limits;
    std::vector<std::string> want;  // inner names, with the status of those not scanned
  };
  archive_limits three_entries, two_kib;
  three_entries.objects = 3;
  two_kib.total_bytes = 2 << 10;
  std::string kib(1 << 10, 'k');
  std::string zip = make_zip({{"a", kib}, {"d/", ""}, {"b", kib}, {"c", kib}, {"e", kib}});
  for (const budget_case& c : {
           budget_case{"entries, folders included", three_entries, {">a", ">b", ">c 1"}},
           budget_case{"bytes", two_kib, {">a", ">b", ">c 1"}},
           budget_case{"no budget reached", archive_limits(), {">a", ">b", ">c", ">e"}},
       }) {
    std::vector<object_result> out;
    scan_archive(context, memory_source(zip), "t.zip", c.limits, &out);
    std::vector<std::string> got;
    for (const object_result& o : out) {
      EXPECT_FALSE(o.result.bomb) << c.what;
      got.push_back(o.status < 0 ? o.inner : o.inner + " " + std::to_string(o.status));
    }
    EXPECT_EQ(c.want, got) << c.what;
  }
}

// The end record's count is 16 bits: 65,535 entries fill it without needing a zip64 record.
TEST_F(ArchiveScanTest, EntryCountsAreCheckedAgainstTheDirectory) {
  std::vector<zip_member> members(65534, zip_member{"m", "x", false});
  members.push_back({"v.txt", kVirusText});
  std::string zip = make_zip(members);
  ASSERT_EQ(std::string("\xff\xff", 2), zip.substr(zip.size() - 12, 2));
  EXPECT_EQ((events{"16 0 full.zip>v.txt 1 1 0 Test-Virus", "512 6 full.zip"}),
            scan("full.zip", zip));
  EXPECT_EQ(65536u, session_->counter(QVX_P_OBJECTS_PROCESSED));
  // A count that disagrees with the directory: damaged, and every entry there is still scanned.
  std::string two = make_zip({{"c.txt", "clean"}, {"v.txt", kVirusText}});
  two[two.size() - 12] = 1;
  EXPECT_EQ((events{"32 2 m.zip", "16 0 m.zip>v.txt 1 1 0 Test-Virus", "512 6 m.zip"}),
            scan("m.zip", two));
}

TEST_F(ArchiveScanTest, NestedBombEndsAndTheWalkGoesOn) {
  // Four levels of sixteen copies over a member of 64 MiB of zeros: 64 TiB unpacked.
  std::string level = make_zip({{"0.dll", std::string(64 << 20, '\0')}});
  for (int depth = 0; depth < 4; ++depth) {
    std::vector<zip_member> copies;
    for (int i = 0; i < 16; ++i) copies.push_back({std::to_string(i) + ".zip", level});
    level = make_zip(copies);
  }
  write_file(dir_ / "folder/42.zip", level);
  write_file(dir_ / "folder/v.txt", kVirusText);
  session_->events.clear();
  EXPECT_EQ(QVX_R_DETECTED, session_->run(QVX_CMD_SCAN_FOLDER, dir_ / "folder"));
  EXPECT_EQ(2u, session_->counter(QVX_P_OBJECTS_DETECTED));
  std::string bomb = "16 0 " + (dir_ / "folder/42.zip") + ">0.zip>0.zip>0.zip>0.zip>0.dll 5 2 0 ";
  EXPECT_NE(session_->events.end(),
            std::find(session_->events.begin(), session_->events.end(), bomb));
}

}  // namespace
}  // namespace qorvex
