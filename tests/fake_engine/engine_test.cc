#include "tests/fake_engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace qvx_fake {
namespace {

// An engine over a script, its log kept in memory; objects are created with the test's callback.
class EngineTest : public testing::Test {
 protected:
  void load(const char* text) {
    script s;
    std::string err;
    ASSERT_TRUE(parse_script(text, &s, &err)) << err;
    engine_ = std::make_unique<engine>(std::move(s), &log_);
  }
  qvx_handle create() {
    qvx_handle h = 0;
    EXPECT_EQ(engine_->create_object(0, QVX_TYPE_V2, "/d/", &on_event, this, &h), 0);
    return h;
  }
  // Reads `property` as text during a callback, as the scanner does.
  static int32_t on_event(qvx_handle h, int32_t event, void* context) {
    auto* self = static_cast<EngineTest*>(context);
    char buffer[64] = {};
    int32_t r = self->engine_->get_property(h, QVX_P_OBJECT_NAME, 0, buffer, sizeof buffer);
    self->seen_.push_back(std::to_string(event) + ":" + std::to_string(r) + ":" + buffer);
    return event == QVX_EV_DETECTION ? 1 : 0;
  }

  call_log log_{-1, true};
  std::unique_ptr<engine> engine_;
  std::vector<std::string> seen_;
};

TEST_F(EngineTest, HandlesCountSuccessfulCreatesOnly) {
  load("init -4\ncreate 2 -2\ncreate 3 4");
  EXPECT_EQ(engine_->initialize(nullptr), -4);
  qvx_handle h = 0;
  EXPECT_EQ(engine_->create_object(0, 14, "/x/\n", nullptr, nullptr, &h), 0);
  EXPECT_EQ(h, 1u);
  h = 0;
  EXPECT_EQ(engine_->create_object(0, 14, nullptr, nullptr, nullptr, &h), -2);
  EXPECT_EQ(engine_->create_object(0, 14, nullptr, nullptr, nullptr, &h), 4);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(engine_->create_object(1, 2, "d", nullptr, nullptr, &h), 0);
  EXPECT_EQ(h, 2u);
  EXPECT_EQ(engine_->create_object(0, 2, "d", nullptr, nullptr, nullptr), -2);
  EXPECT_EQ(engine_->close_object(1), 0);
  EXPECT_EQ(engine_->close_object(1), -2);
  EXPECT_EQ(engine_->finalize(), 0);
  EXPECT_EQ(log_.kept(),
            "initialize -> -4\n"
            "create reserved=0 type=14 dir=\"/x/\\n\" -> 0 h1\n"
            "create reserved=0 type=14 dir=null -> -2\n"
            "create reserved=0 type=14 dir=null -> 4\n"
            "create reserved=1 type=2 dir=\"d\" -> 0 h2\n"
            "create reserved=0 type=2 dir=\"d\" -> -2\n"
            "close h1 -> 0\n"
            "close h1 -> -2\n"
            "finalize -> 0\n");
}

// How one scripted value lands in a buffer of a given size (the buffer starts as 0xaa bytes).
struct get_case {
  const char* script;
  uint64_t size;
  int32_t result;
  std::vector<unsigned char> buffer;
};

const get_case kGets[] = {
    {"", 4, 0, {0xaa, 0xaa, 0xaa, 0xaa, 0xaa}},
    {"prop 22 0 -2", 4, 0, {0xfe, 0xff, 0xff, 0xff, 0xaa}},
    {"prop 22 0 258", 8, 0, {2, 1, 0, 0, 0, 0, 0, 0, 0xaa}},
    {"prop 22 0 258", 2, 0, {2, 1, 0xaa}},
    {"prop 22 0 -1", 10, 0, {255, 255, 255, 255, 255, 255, 255, 255, 0xaa, 0xaa}},
    {"prop 22 0 5", 0, 0, {0xaa}},
    {"prop 22 0 \"ab\"", 4, 0, {'a', 'b', 0, 0xaa}},
    {"prop 22 0 \"ab\"", 3, 0, {'a', 'b', 0, 0xaa}},
    {"prop 22 0 \"abc\"", 3, 0, {'a', 'b', 'c', 0xaa}},
    {"prop 22 0 \"a\\x00b\"", 4, 0, {'a', 0, 'b', 0}},
    {"prop 22 0 !-3", 4, -3, {0xaa, 0xaa, 0xaa, 0xaa}},
    {"prop 22 0 !1", 4, 1, {0xaa, 0xaa, 0xaa, 0xaa}},
    {"prop 22 1 7", 4, 0, {0xaa, 0xaa, 0xaa, 0xaa}},
    {"prop 22 * 7", 4, 0, {7, 0, 0, 0}},
    {"prop h2 22 0 7", 4, 0, {0xaa, 0xaa, 0xaa, 0xaa}},
    {"prop h1 22 0 7", 4, 0, {7, 0, 0, 0}},
    {"prop 22 0 8\nprop h1 22 0 7", 4, 0, {7, 0, 0, 0}},
    {"prop 22 * 8\nprop 22 0 7", 4, 0, {8, 0, 0, 0}},
};

TEST_F(EngineTest, GetWritesTheScriptedValue) {
  for (const get_case& c : kGets) {
    load(c.script);
    qvx_handle h = create();
    std::vector<unsigned char> buffer(c.buffer.size(), 0xaa);
    EXPECT_EQ(engine_->get_property(h, 22, 0, buffer.data(), c.size), c.result) << c.script;
    EXPECT_EQ(buffer, c.buffer) << c.script << " size " << c.size;
  }
}

TEST_F(EngineTest, GetAndSetOnUnknownHandleFail) {
  load("prop 22 * 7");
  int32_t v = 0;
  EXPECT_EQ(engine_->get_property(9, 22, 0, &v, 4), -2);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(engine_->set_property(0, 22, 0, &v, 4), -2);
  EXPECT_EQ(engine_->run_command(3, 1, "/p", 0, 0), -2);
  EXPECT_EQ(log_.kept(),
            "get h9 22 0 size=4 -> -2\n"
            "set h0 22 0 i32=0 -> -2\n"
            "run h3 1 arg=\"/p\" first=0 second=0 -> -2\n");
}

TEST_F(EngineTest, SetLogsTheValueBySize) {
  load("set 52 -1");
  qvx_handle h = create();
  int32_t i32 = -1;
  int64_t i64 = 1LL << 40;
  EXPECT_EQ(engine_->set_property(h, 52, 0, &i32, 4), -1);
  EXPECT_EQ(engine_->set_property(h, 39, 2, &i64, 8), 0);
  EXPECT_EQ(engine_->set_property(h, 11, 0, "ex\"e\0", 5), 0);
  EXPECT_EQ(engine_->set_property(h, 11, 0, "\x7f\x1f", 2), 0);
  EXPECT_EQ(engine_->set_property(h, 11, 0, nullptr, 3), 0);
  EXPECT_EQ(log_.kept(),
            "create reserved=0 type=14 dir=\"/d/\" -> 0 h1\n"
            "set h1 52 0 i32=-1 -> -1\n"
            "set h1 39 2 i64=1099511627776 -> 0\n"
            "set h1 11 0 text=\"ex\\\"e\\x00\" -> 0\n"
            "set h1 11 0 text=\"\\x7f\\x1f\" -> 0\n"
            "set h1 11 0 value=null -> 0\n");
}

TEST_F(EngineTest, RunRaisesEventsWithTheirProperties) {
  load(
      "prop 21 0 \"general\"\n"
      "run 1 /other 5\n"
      "run 1 $ARG 1\n"
      "  event 16 21=\"$ARG!\" x2\n"
      "  event 32\n"
      "  event 2 21=!-8\n");
  qvx_handle h = create();
  EXPECT_EQ(engine_->run_command(h, 1, "/p", 0, 0), 1);
  EXPECT_EQ(seen_, (std::vector<std::string>{"16:0:/p!", "16:0:/p!", "32:0:general", "2:-8:"}));
  EXPECT_EQ(engine_->run_command(h, 1, "/other", 0, 0), 5);
  EXPECT_EQ(engine_->run_command(h, 1, nullptr, 0, 0), 0);  // $ARG never matches a null argument
  EXPECT_EQ(log_.kept(),
            "create reserved=0 type=14 dir=\"/d/\" -> 0 h1\n"
            "get h1 21 0 size=64 -> 0\n"
            "callback h1 16 -> 1\n"
            "get h1 21 0 size=64 -> 0\n"
            "callback h1 16 -> 1\n"
            "get h1 21 0 size=64 -> 0\n"
            "callback h1 32 -> 0\n"
            "get h1 21 0 size=64 -> -8\n"
            "callback h1 2 -> 0\n"
            "run h1 1 arg=\"/p\" first=0 second=0 -> 1\n"
            "run h1 1 arg=\"/other\" first=0 second=0 -> 5\n"
            "run h1 1 arg=null first=0 second=0 -> 0\n");
}

TEST_F(EngineTest, FirstMatchingRunWinsAndStarMatchesNull) {
  load("run 7 \"--scanProcess\" -3\nrun 7 * 4\nrun 7 \"--dumpProcessList\" 9");
  qvx_handle h = create();
  int32_t one = 1;
  EXPECT_EQ(engine_->run_command(h, 7, "--scanProcess", reinterpret_cast<uint64_t>("123"), 0), -3);
  EXPECT_EQ(engine_->run_command(h, 7, nullptr, 0, reinterpret_cast<uint64_t>(&one)), 4);
  EXPECT_EQ(engine_->run_command(h, 7, "--dumpProcessList", 0, 0), 4);
  EXPECT_EQ(engine_->run_command(h, 8, nullptr, 0, 0), 0);
  EXPECT_EQ(log_.kept(),
            "create reserved=0 type=14 dir=\"/d/\" -> 0 h1\n"
            "run h1 7 arg=\"--scanProcess\" first=\"123\" second=0 -> -3\n"
            "run h1 7 arg=null first=0 second=*1 -> 4\n"
            "run h1 7 arg=\"--dumpProcessList\" first=0 second=0 -> 4\n"
            "run h1 8 arg=null first=0 second=0 -> 0\n");
}

TEST_F(EngineTest, EventsWithoutCallbackAreLoggedAsNone) {
  load("run 13 * 0\n  event 128");
  qvx_handle h = 0;
  ASSERT_EQ(engine_->create_object(0, 14, "/d/", nullptr, nullptr, &h), 0);
  EXPECT_EQ(engine_->run_command(h, 13, nullptr, 0, 0), 0);
  EXPECT_NE(log_.kept().find("callback h1 128 -> none\n"), std::string::npos) << log_.kept();
}

// Objects on several threads at once: every line arrives whole, every handle is distinct.
TEST_F(EngineTest, ConcurrentObjectsLogWholeLines) {
  load("run 1 * 0\n  event 16 21=\"$ARG\" x50");
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::vector<qvx_handle> handles(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t, &handles] {
      qvx_handle h = 0;
      engine_->create_object(0, 14, "/d/", nullptr, nullptr, &h);
      handles[t] = h;
      for (int i = 0; i < 20; ++i) engine_->run_command(h, 1, "/p", 0, 0);
      engine_->close_object(h);
    });
  }
  for (std::thread& t : threads) t.join();
  std::sort(handles.begin(), handles.end());
  EXPECT_EQ(handles, (std::vector<qvx_handle>{1, 2, 3, 4}));
  std::string text = log_.kept();
  size_t lines = std::count(text.begin(), text.end(), '\n');
  EXPECT_EQ(lines, kThreads * (1 + 20 * 51 + 1));
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
}

}  // namespace
}  // namespace qvx_fake
