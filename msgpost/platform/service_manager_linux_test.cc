#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "hubwire/testing.h"
#include "msgpost/platform/service_manager.h"

namespace platform {
namespace {

// Points the service's runtime folder at dir for one test.
struct runtime_dir_fixture : ::testing::Test {
  testing_util::scoped_temp_dir temp;
  std::string dir = temp.path() + "/run";
  service_manager* sm = default_service_manager();

  runtime_dir_fixture() { setenv("HUBSVC_RUNTIME_DIR", dir.c_str(), 1); }
  ~runtime_dir_fixture() override { unsetenv("HUBSVC_RUNTIME_DIR"); }

  int listen_socket() {
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string path = dir + "/dspIfEp";
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    EXPECT_EQ(listen(fd, 4), 0);
    return fd;
  }
};

TEST_F(runtime_dir_fixture, not_installed) {
  EXPECT_EQ(sm->open_service("hubsvc"), ENOENT);
  close(open(dir.c_str(), O_CREAT | O_WRONLY, 0600));  // a file, not a folder
  EXPECT_EQ(sm->open_service("hubsvc"), ENOTDIR);
  mkdir(dir.c_str(), 0755);
  EXPECT_EQ(sm->open_service("other"), ENOENT);
}

TEST_F(runtime_dir_fixture, states) {
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(sm->open_service("hubsvc"), 0);
  EXPECT_EQ(sm->query_state(), service_state::stopped);

  // A live daemon that holds its pid file's lock but does not listen yet.
  int pid_fd = open((dir + "/hubsvc.pid").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_EQ(flock(pid_fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(sm->query_state(), service_state::start_pending);

  int listen_fd = listen_socket();
  EXPECT_EQ(sm->query_state(), service_state::running);
  endpoint_error err = endpoint_error::invalid;
  EXPECT_NE(sm->connect_endpoint(&err), nullptr);
  EXPECT_EQ(err, endpoint_error::none);

  // The daemon died: its lock went with it, and the socket refuses.
  close(listen_fd);
  close(pid_fd);
  EXPECT_EQ(sm->query_state(), service_state::stopped);
  EXPECT_EQ(sm->connect_endpoint(&err), nullptr);
  EXPECT_EQ(err, endpoint_error::not_listening);
}

TEST(classify_connect_error, kinds) {
  EXPECT_EQ(classify_connect_error(ENOENT), endpoint_error::not_listening);
  EXPECT_EQ(classify_connect_error(ECONNREFUSED), endpoint_error::not_listening);
  EXPECT_EQ(classify_connect_error(EACCES), endpoint_error::access_denied);
  EXPECT_EQ(classify_connect_error(ENOBUFS), endpoint_error::no_memory);
  EXPECT_EQ(classify_connect_error(ENAMETOOLONG), endpoint_error::invalid);
}

}  // namespace
}  // namespace platform
