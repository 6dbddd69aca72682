// msgpost's sending logic against a real dispatcher service running in this process: the one place
// where the code of both programs meets, so neither program's own tests link the other.
#include "msgpost/client/send_message.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "hubsvc/registry.h"
#include "hubsvc/server.h"
#include "hubwire/rpc/utf.h"
#include "hubwire/testing.h"
#include "msgpost/platform/process_fake.h"
#include "msgpost/platform/service_manager_fake.h"

namespace msgpost {
namespace {

using clock_type = std::chrono::steady_clock;

long long ms_since(clock_type::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start).count();
}

// A real dispatcher service on a socket in a fresh folder, in this process.
struct live_service {
  testing_util::scoped_temp_dir dir;
  hubsvc::registry reg;
  hubsvc::server srv{&reg};
  std::string path = dir.path() + "/dspIfEp";

  live_service() {
    std::string err;
    EXPECT_TRUE(srv.listen_at(path, &err)) << err;
    srv.start();
  }
};

// A client that answers each message with a response named `answer` after
// `delay_ms`, as the test program does.
struct responder {
  platform::process_fake process;
  client_library lib;
  int32_t slot = 0;
  std::atomic<int> received = 0;

  responder(platform::service_manager* services, const std::u16string& name,
            const std::u16string& answer, int delay_ms, int32_t pid)
      : lib(services, &process) {
    process.pid = pid;
    process.user = u"resp";
    lib.acquire_identity();
    auto cb = [this, answer, delay_ms](int32_t s, const std::u16string* from,
                                       const std::u16string* msg, int32_t, int32_t,
                                       const std::u16string*, int32_t serial) -> int32_t {
      if (msg == nullptr || msg->rfind(u"System:", 0) == 0) return 0;
      ++received;
      if (answer.empty() || from == nullptr) return 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
      lib.send_response(s, *from, answer, 0, 0, std::nullopt, serial);
      return 0;
    };
    EXPECT_EQ(lib.connect(nullptr, name, cb, &slot), 0);
  }
  ~responder() {
    lib.close_client(slot);
    lib.release_identity();
  }
};

struct send_fixture : ::testing::Test {
  live_service service;
  platform::service_manager_fake services;
  platform::process_fake process;
  std::unique_ptr<client_library> lib;
  std::u16string response = u"Pong";

  send_fixture() {
    services.endpoint = service.path;
    services.states = {platform::service_state::running};
    lib = std::make_unique<client_library>(&services, &process);
  }

  message_request request(const std::u16string& to, int32_t timeout_ms) {
    message_request r;
    r.to_id = to;
    r.msg_id = u"Ping";
    r.response_id = &response;
    r.timeout_ms = timeout_ms;
    return r;
  }
};

TEST_F(send_fixture, no_timeout_returns_at_once_without_a_receiver) {
  responder a(&services, u"group", u"", 0, 11);
  responder b(&services, u"group", u"", 0, 12);
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"group", 0)), 2);
  EXPECT_LT(ms_since(start), 1000);
  EXPECT_EQ(services.sleeps, std::vector<int>{100});
}

TEST_F(send_fixture, returns_after_the_last_response) {
  responder a(&services, u"group", u"Pong", 0, 11);
  responder b(&services, u"group", u"Pong", 50, 12);
  responder c(&services, u"group", u"Pong", 100, 13);
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"group", 20000)), 3);
  EXPECT_LT(ms_since(start), 5000);
}

TEST_F(send_fixture, silent_recipient_runs_out_the_timeout) {
  responder a(&services, u"group", u"Pong", 0, 11);
  responder b(&services, u"group", u"", 0, 12);
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"group", 400)), 2);
  EXPECT_GE(ms_since(start), 400);
  EXPECT_LT(ms_since(start), 5000);
}

TEST_F(send_fixture, responses_of_another_name_are_not_counted) {
  responder a(&services, u"group", u"Other", 0, 11);
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"group", 300)), 1);
  EXPECT_GE(ms_since(start), 300);
}

TEST_F(send_fixture, zero_recipients_do_not_wait) {
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"nobody", -1)), 0);
  EXPECT_LT(ms_since(start), 2000);
}

// With a ".Quit" response name the caller waits for the responder's process.
TEST_F(send_fixture, quit_names) {
  struct {
    std::u16string name;
    bool waits;
  } cases[] = {{u"x.Quit", true}, {u".Quit", false}, {u"x.quit", false}, {u"x.QUIT", false}};
  for (const auto& c : cases) {
    response = c.name;
    responder r(&services, u"svc", c.name, 0, 4321);
    process.live = {4321};
    process.ended = false;
    std::thread ender([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      process.ended = true;
    });
    auto start = clock_type::now();
    EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"svc", 10000)), 1);
    long long spent = ms_since(start);
    ender.join();
    if (c.waits) {
      EXPECT_GE(spent, 300) << rpc::utf16_to_utf8(c.name);
      std::lock_guard<std::mutex> lock(process.mu);
      EXPECT_EQ(process.opened, std::vector<int32_t>{4321});
    } else {
      EXPECT_LT(spent, 300) << rpc::utf16_to_utf8(c.name);
    }
    process.opened.clear();
  }
}

TEST_F(send_fixture, service_not_installed) {
  services.open_error = 2;
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"x", 0)), -1);
  EXPECT_EQ(services.connects, 0);
}

TEST_F(send_fixture, stopped_service_is_polled_every_five_seconds) {
  services.states = {platform::service_state::stopped, platform::service_state::start_pending,
                     platform::service_state::running};
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"x", 0)), 0);
  EXPECT_EQ(services.queries, 3);
  EXPECT_EQ(services.sleeps, (std::vector<int>{5000, 5000, 100}));
}

TEST_F(send_fixture, service_never_running_gives_up_after_a_minute) {
  services.states.clear();
  services.connect_error = platform::endpoint_error::not_listening;
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"x", 0)), -8);
  EXPECT_EQ(services.queries, 12);
  std::vector<int> want(12, 5000);
  want.push_back(100);
  EXPECT_EQ(services.sleeps, want);
}

TEST_F(send_fixture, socket_access_denied) {
  services.connect_error = platform::endpoint_error::access_denied;
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, request(u"x", 0)), -13);
}

// A failed send must not leave the receiver thread holding back its notice
// until the disconnect gives up after ten seconds.
TEST_F(send_fixture, failed_send_returns_at_once) {
  message_request r = request(std::u16string(u"bad\0id", 6), 5000);
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, r), -8);
  EXPECT_LT(ms_since(start), 3000);
}

TEST_F(send_fixture, identity_too_long_is_refused_before_sending) {
  std::u16string from(1100, u'f');
  message_request r = request(u"x", 0);
  r.from_id = &from;
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, r), -2);
  EXPECT_EQ(services.connects, 0);
  EXPECT_EQ(service.reg.client_count(), 0u);
}

TEST_F(send_fixture, default_name_and_identity_reach_the_service) {
  responder r(&services, u"svc", u"", 0, 11);
  std::u16string from = u"Sender";
  message_request req = request(u"svc", 0);
  req.from_id = &from;
  EXPECT_EQ(send_dispatcher_message(lib.get(), &process, req), 1);
}

}  // namespace
}  // namespace msgpost

namespace msgpost {
namespace {

// Without a time limit, a service that goes away must not leave the caller
// waiting for responses that can no longer come.
TEST(send_message_service_gone, unlimited_wait_ends_when_the_service_stops) {
  auto service = std::make_unique<live_service>();
  platform::service_manager_fake services;
  services.endpoint = service->path;
  services.states = {platform::service_state::running};
  platform::process_fake process;
  client_library lib(&services, &process);
  auto silent = std::make_unique<responder>(&services, u"svc", u"", 0, 11);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    service->srv.stop();
  });
  std::u16string response = u"Pong";
  message_request r;
  r.to_id = u"svc";
  r.msg_id = u"Ping";
  r.response_id = &response;
  r.timeout_ms = -1;
  auto start = clock_type::now();
  EXPECT_EQ(send_dispatcher_message(&lib, &process, r), 1);
  EXPECT_LT(ms_since(start), 5000);
  stopper.join();
  silent.reset();
}

}  // namespace
}  // namespace msgpost
