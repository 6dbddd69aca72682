#include "scanner/update/install.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "scanner/testing.h"
#include "scanner/update/zip_fixture.h"

namespace ferrox {
namespace {

// Bytes that deflate cannot squeeze much, larger than one copy buffer.
std::string noise(std::size_t size, uint32_t seed) {
  std::string s(size, '\0');
  for (char& c : s) {
    seed = seed * 1103515245u + 12345u;
    c = static_cast<char>(seed >> 24);
  }
  return s;
}

std::set<std::string> names_in(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.insert(e.path().filename().string());
  return names;
}

// Flips one byte of the first entry's data in the archive at `path`.
void damage_first_entry(const std::string& path) {
  std::string bytes = scoped_temp_dir::read(path);
  const auto u16 = [&bytes](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
  };
  const std::size_t data = 30 + u16(26) + u16(28);
  bytes[data + 100] = static_cast<char>(bytes[data + 100] ^ 0x5a);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class install_test : public ::testing::Test {
 protected:
  void SetUp() override {
    defs_ = defs_dir_.path() + "/";
    defs_dir_.write("sigbase-v2.def", old_sig_);
    defs_dir_.write("qorvexcon-v2.def", old_con_);
    archive_ = work_.path() + "/package.zip";
  }
  void expect_old_definitions(const std::string& label) {
    EXPECT_EQ(scoped_temp_dir::read(defs_ + "sigbase-v2.def"), old_sig_) << label;
    EXPECT_EQ(scoped_temp_dir::read(defs_ + "qorvexcon-v2.def"), old_con_) << label;
    EXPECT_EQ(names_in(defs_dir_.path()),
              (std::set<std::string>{"sigbase-v2.def", "qorvexcon-v2.def"}))
        << label;
  }

  scoped_temp_dir defs_dir_, work_;
  std::string defs_, archive_;
  const std::string old_sig_ = "old signatures";
  const std::string old_con_ = "old companion";
  const std::string new_sig_ = noise(250000, 1);
  const std::string new_con_ = noise(1000, 2);
};

TEST_F(install_test, both_files_replaced_names_without_case) {
  chmod((defs_ + "sigbase-v2.def").c_str(), 0640);
  ASSERT_TRUE(write_zip(archive_, {{"qorvexcon-v2.def", new_con_}, {"SIGBASE-V2.DEF", new_sig_}}));
  ASSERT_TRUE(install_definitions(archive_, defs_, default_update_files()));
  EXPECT_EQ(scoped_temp_dir::read(defs_ + "sigbase-v2.def"), new_sig_);
  EXPECT_EQ(scoped_temp_dir::read(defs_ + "qorvexcon-v2.def"), new_con_);
  EXPECT_EQ(names_in(defs_dir_.path()),
            (std::set<std::string>{"sigbase-v2.def", "qorvexcon-v2.def"}));
  struct stat st;
  ASSERT_EQ(stat((defs_ + "sigbase-v2.def").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(install_test, fresh_folder_gets_readable_files) {
  scoped_temp_dir empty;
  ASSERT_TRUE(write_zip(archive_, {{"sigbase-v2.def", new_sig_}, {"qorvexcon-v2.def", ""}}));
  ASSERT_TRUE(install_definitions(archive_, empty.path() + "/", default_update_files()));
  EXPECT_EQ(scoped_temp_dir::read(empty.path() + "/qorvexcon-v2.def"), "");
  struct stat st;
  ASSERT_EQ(stat((empty.path() + "/sigbase-v2.def").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(install_test, bad_packages_change_nothing) {
  struct row {
    const char* name;
    std::function<void()> make;
  } rows[] = {
      {"not a zip", [&] { work_.write("package.zip", "<html>404 Not Found</html>\n"); }},
      {"empty file", [&] { work_.write("package.zip", ""); }},
      {"second entry missing",
       [&] {
         write_zip(archive_, {{"sigbase-v2.def", new_sig_}});
       }},
      {"first entry missing",
       [&] {
         write_zip(archive_, {{"qorvexcon-v2.def", new_con_}});
       }},
      {"entry under a folder",
       [&] {
         write_zip(archive_, {{"sigbase-v2.def", new_sig_}, {"defs/qorvexcon-v2.def", new_con_}});
       }},
      {"corrupt stored entry",
       [&] {
         write_zip(archive_, {{"sigbase-v2.def", new_sig_, true}, {"qorvexcon-v2.def", new_con_}});
         damage_first_entry(archive_);
       }},
      {"corrupt compressed entry",
       [&] {
         write_zip(archive_, {{"sigbase-v2.def", new_sig_}, {"qorvexcon-v2.def", new_con_}});
         damage_first_entry(archive_);
       }},
      {"truncated archive",
       [&] {
         write_zip(archive_, {{"sigbase-v2.def", new_sig_}, {"qorvexcon-v2.def", new_con_}});
         const std::string bytes = scoped_temp_dir::read(archive_);
         work_.write("package.zip", bytes.substr(0, bytes.size() / 2));
       }},
  };
  for (const row& r : rows) {
    r.make();
    EXPECT_FALSE(install_definitions(archive_, defs_, default_update_files())) << r.name;
    expect_old_definitions(r.name);
  }
  EXPECT_FALSE(install_definitions(work_.path() + "/missing.zip", defs_, default_update_files()));
  expect_old_definitions("missing archive");
}

TEST_F(install_test, signature_entry_is_read_when_asked) {
  const std::string signature(64, 's');
  struct row {
    const char* name;
    std::vector<zip_entry> extra;
    bool ok;
    std::string expect;
  } rows[] = {
      {"no signature entry", {}, true, ""},
      {"signature entry, any case", {{"RELEASE.SIG", signature}}, true, signature},
      {"oversized signature entry", {{"release.sig", std::string(2000, 's')}}, false, ""},
  };
  for (const row& r : rows) {
    std::vector<zip_entry> entries = {{"sigbase-v2.def", new_sig_}, {"qorvexcon-v2.def", new_con_}};
    entries.insert(entries.end(), r.extra.begin(), r.extra.end());
    ASSERT_TRUE(write_zip(archive_, entries)) << r.name;
    scoped_temp_dir staging;
    std::string read = "stale";
    EXPECT_EQ(install_definitions(archive_, staging.path() + "/", default_update_files(), &read),
              r.ok)
        << r.name;
    EXPECT_EQ(read, r.expect) << r.name;
  }
}

// Breaks one call of the real file system: the n-th create_unique, or the n-th replace.
class breaking_files : public update_files {
 public:
  breaking_files(int fail_create, int fail_replace)
      : fail_create_(fail_create), fail_replace_(fail_replace) {}
  std::unique_ptr<output_file> create_unique(const std::string& prefix) override {
    if (++creates_ == fail_create_) return nullptr;
    return default_update_files().create_unique(prefix);
  }
  bool replace(const std::string& from, const std::string& to) override {
    if (++replaces_ == fail_replace_) return false;
    return default_update_files().replace(from, to);
  }
  bool remove(const std::string& path) override { return default_update_files().remove(path); }

 private:
  int fail_create_, fail_replace_, creates_ = 0, replaces_ = 0;
};

TEST_F(install_test, unwritable_files_change_nothing) {
  ASSERT_TRUE(write_zip(archive_, {{"sigbase-v2.def", new_sig_}, {"qorvexcon-v2.def", new_con_}}));
  for (int n : {1, 2}) {
    breaking_files files(n, 0);
    EXPECT_FALSE(install_definitions(archive_, defs_, files)) << "create " << n;
    expect_old_definitions("create " + std::to_string(n));
  }
  breaking_files first_rename(0, 1);
  EXPECT_FALSE(install_definitions(archive_, defs_, first_rename));
  expect_old_definitions("first rename");
  EXPECT_FALSE(
      install_definitions(archive_, defs_dir_.path() + "/missing/", default_update_files()));
  expect_old_definitions("missing folder");
}

}  // namespace
}  // namespace ferrox
