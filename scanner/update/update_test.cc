#include "scanner/update/update.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace ferrox
