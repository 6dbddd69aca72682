#include "qorvex/tools/qvxdef_publish.h"

#include <gtest/gtest.h>
#include <unzip.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "qorvex/src/defs_format.h"

namespace qvxdef {
namespace {

namespace fs = std::filesystem;

// A definitions file as far as publishing looks: the header with `id`, then a payload.
std::string defs_bytes(const std::string& id, const std::string& payload) {
  std::string h(qorvex::kHeaderSize, '\0');
  h.replace(0, qorvex::kDefsMagic.size(), qorvex::kDefsMagic);
  h.replace(16, id.size(), id);
  return h + payload;
}

std::string read_all(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string zip_entry(const std::string& zip, const char* name) {
  unzFile z = unzOpen64(zip.c_str());
  if (z == nullptr) return "<no zip>";
  std::string out = "<missing>";
  if (unzLocateFile(z, name, 1) == UNZ_OK && unzOpenCurrentFile(z) == UNZ_OK) {
    out.clear();
    char buf[4096];
    int n;
    while ((n = unzReadCurrentFile(z, buf, sizeof buf)) > 0) out.append(buf, n);
    if (unzCloseCurrentFile(z) != UNZ_OK) out = "<bad crc>";
  }
  unzClose(z);
  return out;
}

class publish_test : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "qvxdef_publish.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    root_ = tmpl;
    fs::create_directories(root_ / "defs");
  }
  void TearDown() override { fs::remove_all(root_); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / "defs" / name, std::ios::binary) << bytes;
  }
  int publish(std::vector<std::string> args) { return run_publish(args); }

  fs::path root_;
};

TEST_F(publish_test, lays_out_a_release) {
  const std::string sig = defs_bytes("202612101530", std::string(300000, 's'));
  const std::string con = defs_bytes("202612101530", "companion");
  write("sigbase-v2.def", sig);
  write("qorvexcon-v2.def", con);
  const fs::path out = root_ / "www";
  ASSERT_EQ(publish({"--out", out.string(), (root_ / "defs").string()}), 0);
  const fs::path folder = out / "zorav/deffiles/def5-2";
  EXPECT_EQ(read_all(folder / "sigbase-v2-hit.ini"), "defId=202612101530\n");
  EXPECT_TRUE(fs::is_regular_file(folder / "sigbase-v2-z-202612101530.ini"));
  const std::string zip = (folder / "sigbase-v2-z-202612101530.zip").string();
  EXPECT_EQ(zip_entry(zip, "sigbase-v2.def"), sig);
  EXPECT_EQ(zip_entry(zip, "qorvexcon-v2.def"), con);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 3);
  // A later release replaces the hit file and adds its own package beside the old one.
  write("sigbase-v2.def", defs_bytes("202612111200", "s"));
  write("qorvexcon-v2.def", defs_bytes("202612111200", "c"));
  ASSERT_EQ(qvxdef::run_publish({"--out=" + out.string(), (root_ / "defs").string()}), 0);
  EXPECT_EQ(read_all(folder / "sigbase-v2-hit.ini"), "defId=202612111200\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 5);
}

TEST_F(publish_test, refuses_bad_input_and_writes_nothing) {
  struct row {
    const char* name;
    std::string sig, con;
  } rows[] = {
      {"different identifiers", defs_bytes("202612101530", ""), defs_bytes("202612101531", "")},
      {"not a definitions file", "hello", defs_bytes("202612101530", "")},
      {"identifier not digits", defs_bytes("2026-12-10 x", ""), defs_bytes("2026-12-10 x", "")},
  };
  for (const row& r : rows) {
    write("sigbase-v2.def", r.sig);
    write("qorvexcon-v2.def", r.con);
    EXPECT_EQ(publish({"--out=" + (root_ / "www").string(), (root_ / "defs").string()}), 1)
        << r.name;
    EXPECT_FALSE(fs::exists(root_ / "www")) << r.name;
  }
  fs::remove(root_ / "defs" / "qorvexcon-v2.def");
  write("sigbase-v2.def", defs_bytes("202612101530", ""));
  EXPECT_EQ(publish({"--out=" + (root_ / "www").string(), (root_ / "defs").string()}), 1);
}

TEST_F(publish_test, usage_errors) {
  const std::string defs = (root_ / "defs").string();
  for (const std::vector<std::string>& a : std::vector<std::vector<std::string>>{
           {}, {defs}, {"--out=x"}, {"--out"}, {"--out=x", defs, "extra"}, {"--bogus", defs}})
    EXPECT_EQ(publish(a), 2) << a.size();
}

}  // namespace
}  // namespace qvxdef
