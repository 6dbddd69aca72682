#include "scanner/engine/vse.h"

#include <gtest/gtest.h>

#include <sstream>

#include "scanner/messages/strings.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

TEST(describe_result, table) {
  scoped_catalogue catalogue;
  const struct {
    engine_result code;
    int32_t level;
    const char* text;
  } cases[] = {
      {0, 1, "Success"},
      {1, 2, "Detected"},
      {3, 3, "Internal error in the application. Please report it to technical support."},
      {4, 1, "Feature not supported"},
      {5, 1, "Feature not implemented"},
      {6, 1, "Scanning interrupted"},
      {8, 1, "Reboot required for disinfection"},
      {-1, 3, "Failed"},
      {-2, 3, "Invalid data passed to function"},
      {-3, 1, "Access error"},
      {-4, 3, "Internal error in the application. Please report it to technical support."},
      {-5, 3, "Out of memory"},
      {-6, 3, "Internal error in the application. Please report it to technical support."},
      {-8, 1, "Not found"},
      {-9, 1, "Busy"},
      {-10, 3, "Internal error in the application. Please report it to technical support."},
      {2, 3, "Internal error in the application. Please report it to technical support."},
      {-7, 3, "Internal error in the application. Please report it to technical support."},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    out << "x ";
    EXPECT_EQ(describe_result(c.code, out), c.level) << c.code;
    EXPECT_EQ(out.str(), std::string("x ") + c.text) << c.code;
  }
}

TEST(vse, unloaded_wrapper_answers_minus_four) {
  vse engine(engine_start::leave_unloaded);
  ASSERT_FALSE(engine.loaded());
  engine_handle h = 0;
  char buf[8];
  EXPECT_EQ(engine.create_object(14, "/x", nullptr, nullptr, h), -4);
  EXPECT_EQ(engine.get_property(1, 1, 0, buf, sizeof buf), -4);
  EXPECT_EQ(engine.set_property(1, 1, 0, buf, sizeof buf), -4);
  EXPECT_EQ(engine.run_command(1, 1, nullptr, 0, 0), -4);
  EXPECT_EQ(engine.close_object(1), -4);
}

}  // namespace
}  // namespace ferrox
