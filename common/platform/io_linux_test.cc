#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "common/platform/io.h"

namespace common {
namespace {

// A temporary file, unlinked at once: only its descriptor is left.
struct temp_file {
  int fd = -1;
  temp_file() {
    char name[] = "/tmp/common_io.XXXXXX";
    fd = mkstemp(name);
    if (fd >= 0) unlink(name);
  }
  ~temp_file() {
    if (fd >= 0) close(fd);
  }
};

TEST(io, writes_everything_and_reads_it_back_exactly) {
  temp_file f;
  ASSERT_GE(f.fd, 0);
  std::string data(300000, '\0');  // larger than one pipe buffer or page
  for (size_t i = 0; i < data.size(); ++i) data[i] = char(i * 7);
  ASSERT_TRUE(write_all(f.fd, data.data(), data.size()));
  ASSERT_TRUE(write_all(f.fd, "", 0));

  std::string back(data.size() - 5, '\0');
  ASSERT_TRUE(pread_exact(f.fd, back.data(), back.size(), 5));
  EXPECT_EQ(back, data.substr(5));

  // Past the end: a short read is an error, EIO.
  char tail[8];
  errno = 0;
  EXPECT_FALSE(pread_exact(f.fd, tail, sizeof tail, data.size() - 4));
  EXPECT_EQ(errno, EIO);
  EXPECT_TRUE(pread_exact(f.fd, tail, 0, data.size() + 100));
}

TEST(io, failures_keep_the_system_error) {
  int pipe_fds[2];
  ASSERT_EQ(pipe(pipe_fds), 0);
  errno = 0;
  EXPECT_FALSE(write_all(pipe_fds[0], "x", 1));  // the read end
  EXPECT_EQ(errno, EBADF);
  char c;
  errno = 0;
  EXPECT_FALSE(pread_exact(pipe_fds[0], &c, 1, 0));  // a pipe has no offsets
  EXPECT_EQ(errno, ESPIPE);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

}  // namespace
}  // namespace common
