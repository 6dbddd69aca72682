#include "scanner/update/update.h"

#include <gtest/gtest.h>

#include "scanner/update/staged_release.h"

namespace ferrox {
namespace {

TEST(newer_identifier, comparison) {
  const std::string padded("2026\0\0\0\0\0\0\0\0", 12);
  struct row {
    std::string latest, installed;
    bool newer;
  } rows[] = {
      {"202612101530", "202612101530", false},
      {"202612101531", "202612101530", true},
      {"202612101529", "202612101530", false},
      {"202612101530", "", true},
      {"202612101530", "2026121015", true},      // equal start, the server's is longer
      {"202612101530", "2026121015300", false},  // 13 installed characters win a tie
      {"202612101530", "3", false},
      {"\xff"
       "00000000000",
       "900000000000", true},  // bytes compare unsigned
      {padded, "2026", true},  // requested every time
      {padded, "202612101530", false},
  };
  for (const row& r : rows)
    EXPECT_EQ(newer_identifier(r.latest, r.installed), r.newer)
        << "latest " << r.latest.c_str() << " installed " << r.installed;
}

TEST(staged_check_type, types_that_read_the_v2_pair) {
  // The types that read "sigbase-v2.def" check with their own type; the others with the v2 type.
  const std::pair<const char*, int32_t> rows[] = {{"v2", 14},  {"ZIP", 6}, {"android", 10},
                                                  {"v2s", 14}, {"", 14},   {"v1", 14}};
  for (const auto& [deftype, type] : rows) EXPECT_EQ(staged_check_type(deftype), type) << deftype;
}

}  // namespace
}  // namespace ferrox
