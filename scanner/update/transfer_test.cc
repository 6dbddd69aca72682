#include "scanner/update/transfer.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <vector>

namespace ferrox {
namespace {

TEST(hit_parser, blocks) {
  struct row {
    const char* name;
    std::vector<std::string> blocks;
    std::string expect;
  } rows[] = {
      {"plain", {"defId=202612101530\n"}, "202612101530"},
      {"text around it", {"[x]\r\ndefId=202612101530\r\nmore\n"}, "202612101530"},
      {"longer value is cut", {"defId=2026121015301234"}, "202612101530"},
      {"short value is padded", {"defId=2026"}, std::string("2026\0\0\0\0\0\0\0\0", 12)},
      {"first marker of a block", {"defId=111111111111 defId=222222222222"}, "111111111111"},
      {"later block replaces", {"defId=111111111111", "defId=222222222222"}, "222222222222"},
      {"later block without marker keeps", {"defId=111111111111", "nothing"}, "111111111111"},
      {"split marker is not found", {"def", "Id=111111111111"}, ""},
      {"no marker", {"<html>401 Unauthorized</html>"}, ""},
      {"search stops at NUL", {std::string("x\0defId=111111111111", 20)}, ""},
      {"value stops at NUL",
       {std::string("defId=1234\0"
                    "5678",
                    15)},
       std::string("1234\0\0\0\0\0\0\0\0", 12)},
  };
  for (const row& r : rows) {
    hit_state state;
    for (std::string block : r.blocks)
      EXPECT_EQ(hit_parser(block.data(), 1, block.size(), &state), block.size()) << r.name;
    EXPECT_EQ(state.identifier, r.expect) << r.name;
  }
}

TEST(hit_parser, null_arguments_and_size_limit) {
  hit_state state;
  char text[] = "defId=111111111111";
  EXPECT_EQ(hit_parser(nullptr, 1, 5, &state), 5u);
  EXPECT_EQ(hit_parser(text, 1, 18, nullptr), 18u);
  EXPECT_EQ(hit_parser(text, 0, 18, &state), 0u);
  EXPECT_EQ(state.identifier, "");
  // A never-ending answer is cut off; what was found so far stays.
  EXPECT_EQ(hit_parser(text, 1, 18, &state), 18u);
  std::string filler(kMaxHitBytes, 'x');
  EXPECT_EQ(hit_parser(filler.data(), 1, filler.size(), &state), 0u);
  EXPECT_EQ(state.identifier, "111111111111");
}

TEST(transfer, urls) {
  for (const char* base : {"http://h:8/u", "http://h:8/u/"}) {
    update_settings s{{"baseurl", base}};
    EXPECT_EQ(server_url(s, hit_file_path()),
              "http://h:8/u/zorav/deffiles/def5-2/sigbase-v2-hit.ini")
        << base;
    EXPECT_EQ(server_url(s, package_path("202612101530", "zip")),
              "http://h:8/u/zorav/deffiles/def5-2/sigbase-v2-z-202612101530.zip")
        << base;
  }
  EXPECT_EQ(package_path(std::string("2026\0\0\0\0\0\0\0\0", 12), "ini"),
            "zorav/deffiles/def5-2/sigbase-v2-z-2026.ini");
}

// Records the text options a transfer gets; one test at a time.
std::vector<std::pair<CURLoption, std::string>> g_recorded;

CURLcode record_option(CURL*, CURLoption option, ...) {
  va_list args;
  va_start(args, option);
  switch (option) {
    case CURLOPT_URL:
    case CURLOPT_USERPWD:
    case CURLOPT_PROXY:
    case CURLOPT_PROXYUSERPWD:
    case CURLOPT_PROTOCOLS_STR:
      g_recorded.emplace_back(option, va_arg(args, const char*));
      break;
    default:
      break;
  }
  va_end(args);
  return CURLE_OK;
}

TEST(transfer, proxy_credentials_only_with_both_keys) {
  struct row {
    const char* name;
    update_settings settings;
    std::vector<std::pair<CURLoption, std::string>> expect;
  } rows[] = {
      {"no proxy",
       {{"username", "u"},
        {"password", "p:q"},
        {"proxy", ""},
        {"proxyuser", "a"},
        {"proxypassword", "b"}},
       {{CURLOPT_USERPWD, "u:p:q"}, {CURLOPT_PROTOCOLS_STR, "http,https"}}},
      {"proxy only",
       {{"username", "u"}, {"password", "p"}, {"proxy", "h:3128"}},
       {{CURLOPT_USERPWD, "u:p"},
        {CURLOPT_PROXY, "h:3128"},
        {CURLOPT_PROTOCOLS_STR, "http,https"}}},
      {"proxyuser without proxypassword",
       {{"username", "u"}, {"password", "p"}, {"proxy", "h:3128"}, {"proxyuser", "a"}},
       {{CURLOPT_USERPWD, "u:p"},
        {CURLOPT_PROXY, "h:3128"},
        {CURLOPT_PROTOCOLS_STR, "http,https"}}},
      {"both, even empty",
       {{"username", "u"},
        {"password", "p"},
        {"proxy", "h:3128"},
        {"proxyuser", ""},
        {"proxypassword", ""}},
       {{CURLOPT_USERPWD, "u:p"},
        {CURLOPT_PROXY, "h:3128"},
        {CURLOPT_PROXYUSERPWD, ":"},
        {CURLOPT_PROTOCOLS_STR, "http,https"}}},
  };
  transfer_functions fn = default_transfer_functions();
  fn.set_option = &record_option;
  for (const row& r : rows) {
    g_recorded.clear();
    set_common_options(fn, nullptr, r.settings);
    EXPECT_EQ(g_recorded, r.expect) << r.name;
  }
}

// Records the whole-number options a transfer gets; one test at a time.
std::vector<std::pair<CURLoption, long>> g_numbers;

CURLcode record_number(CURL*, CURLoption option, ...) {
  va_list args;
  va_start(args, option);
  if (option == CURLOPT_CONNECTTIMEOUT || option == CURLOPT_LOW_SPEED_LIMIT ||
      option == CURLOPT_LOW_SPEED_TIME || option == CURLOPT_TIMEOUT)
    g_numbers.emplace_back(option, va_arg(args, long));
  va_end(args);
  return CURLE_OK;
}

TEST(transfer, time_limits) {
  transfer_functions fn = default_transfer_functions();
  fn.set_option = &record_number;
  g_numbers.clear();
  set_common_options(fn, nullptr, update_settings{});
  // Under 1,024 bytes a second for a minute, or 30 minutes in all, ends a transfer.
  EXPECT_EQ(g_numbers, (std::vector<std::pair<CURLoption, long>>{{CURLOPT_CONNECTTIMEOUT, 30},
                                                                 {CURLOPT_LOW_SPEED_LIMIT, 1024},
                                                                 {CURLOPT_LOW_SPEED_TIME, 60},
                                                                 {CURLOPT_TIMEOUT, 1800}}));
}

CURL* no_handle() { return nullptr; }

TEST(transfer, no_handle_no_download) {
  transfer_functions fn = default_transfer_functions();
  fn.create = &no_handle;
  update_settings s{{"baseurl", "http://127.0.0.1:9/"}};
  std::string id = "old", description = "d", archive = "a";
  EXPECT_FALSE(fetch_latest_identifier(s, fn, id));
  EXPECT_EQ(id, "");
  EXPECT_FALSE(
      fetch_update_package(s, fn, "202612101530", description, archive, default_update_files()));
  EXPECT_EQ(description, "");
  EXPECT_EQ(archive, "");
}

}  // namespace
}  // namespace ferrox
