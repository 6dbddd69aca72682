#include "scanner/update/update_settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "scanner/testing.h"

namespace ferrox {
namespace {

const char kValid[] = "baseurl=http://h/\nusername=u\npassword=p\n";

struct settings_case {
  const char* name;
  std::string text;
  bool valid;
  // Expected values; nullopt means the key must be absent.
  std::vector<std::pair<std::string, std::optional<std::string>>> expect;
};

TEST(update_settings, reading_rules) {
  const std::vector<settings_case> cases = {
      {"three lines",
       kValid,
       true,
       {{"baseurl", "http://h/"},
        {"username", "u"},
        {"password", "p"},
        {"proxy", ""},
        {"proxyuser", std::nullopt},
        {"proxypassword", std::nullopt}}},
      {"section header hides baseurl",
       std::string("[update]\n") + kValid,
       false,
       {{"baseurl", ""}, {"username", "u"}, {"password", "p"}}},
      {"blank line hides the next setting",
       "baseurl=b\n\nusername=u\npassword=p\n",
       false,
       {{"username", ""}, {"password", "p"}}},
      {"value keeps a further =",
       "baseurl=b\nusername=u\npassword=a=b\n",
       true,
       {{"password", "a=b"}}},
      {"empty user name", "baseurl=b\nusername=\npassword=p\n", false, {{"username", ""}}},
      {"last line without line end",
       "baseurl=b\nusername=u\npassword=last",
       true,
       {{"password", "last"}}},
      {"empty proxyuser is present",
       std::string(kValid) + "proxy=p:1\nproxyuser=\n",
       true,
       {{"proxy", "p:1"}, {"proxyuser", ""}, {"proxypassword", std::nullopt}}},
      {"blank before = makes another key",
       "baseurl =b\nusername=u\npassword=p\n",
       false,
       {{"baseurl", ""}}},
      {"blank after = is part of the value",
       "baseurl= b\nusername=u\npassword=p \n",
       true,
       {{"baseurl", " b"}, {"password", "p "}}},
      {"later line wins",
       "baseurl=a\nbaseurl=b\nusername=u\npassword=p\n",
       true,
       {{"baseurl", "b"}}},
      {"keys are case-sensitive",
       "BaseURL=a\nusername=u\npassword=p\n",
       false,
       {{"baseurl", ""}, {"BaseURL", std::nullopt}}},
      {"unknown keys are not stored",
       std::string("colour=red\n") + kValid,
       true,
       {{"colour", std::nullopt}}},
      {"text after the last = is discarded", std::string(kValid) + "proxy", true, {{"proxy", ""}}},
      {"empty file", "", false, {{"baseurl", ""}, {"proxy", ""}}},
  };
  for (const settings_case& c : cases) {
    update_settings s{{"baseurl", ""}, {"username", ""}, {"password", ""}, {"proxy", ""}};
    EXPECT_EQ(parse_update_settings(c.text, s), c.valid) << c.name;
    for (const auto& [key, value] : c.expect) {
      if (value) {
        ASSERT_TRUE(s.count(key)) << c.name << ": " << key;
        EXPECT_EQ(s[key], *value) << c.name << ": " << key;
      } else {
        EXPECT_FALSE(s.count(key)) << c.name << ": " << key;
      }
    }
  }
}

TEST(update_settings, reads_windows_line_ends) {
  scoped_temp_dir dir;
  const std::string path =
      dir.write("avupd.ini", "baseurl=http://h/\r\nusername=u\r\npassword=p\r\nproxy=x\ry\r\n");
  update_settings s;
  ASSERT_TRUE(read_update_settings(path, s));
  EXPECT_EQ(s["baseurl"], "http://h/");
  EXPECT_EQ(s["password"], "p");
  EXPECT_EQ(s["proxy"], "x\ry");  // only a carriage return before a line feed is dropped
}

TEST(update_settings, unreadable_files_are_not_valid) {
  scoped_temp_dir dir;
  update_settings s{{"baseurl", "old"}};
  EXPECT_FALSE(read_update_settings(dir.path() + "/missing.ini", s));
  EXPECT_EQ(s["baseurl"], "");  // cleared before the file is opened
  EXPECT_TRUE(s.count("proxy"));
  mkdir((dir.path() + "/folder.ini").c_str(), 0700);
  EXPECT_FALSE(read_update_settings(dir.path() + "/folder.ini", s));
  const std::string big =
      dir.write("big.ini", kValid + std::string(kMaxSettingsFileSize, 'x') + "\n");
  EXPECT_FALSE(read_update_settings(big, s));
}

class fixed_folder : public user_folder {
 public:
  explicit fixed_folder(std::string path) : path_(std::move(path)) {}
  bool local_data_folder(std::string& out) override {
    if (path_.empty()) return false;
    out = path_;
    return true;
  }

 private:
  std::string path_;
};

TEST(update_settings, find_prefers_avupd) {
  scoped_temp_dir dir;
  fixed_folder folder(dir.path());
  EXPECT_EQ(find_update_settings_in(folder), "");
  dir.write("dunmarrow.ini", kValid);
  EXPECT_EQ(find_update_settings_in(folder), dir.path() + "/dunmarrow.ini");
  // An entry of that name is enough, even a folder.
  mkdir((dir.path() + "/avupd.ini").c_str(), 0700);
  EXPECT_EQ(find_update_settings_in(folder), dir.path() + "/avupd.ini");
  fixed_folder with_slash(dir.path() + "/");
  EXPECT_EQ(find_update_settings_in(with_slash), dir.path() + "/avupd.ini");
  fixed_folder none("");
  EXPECT_EQ(find_update_settings_in(none), "");
}

}  // namespace
}  // namespace ferrox
