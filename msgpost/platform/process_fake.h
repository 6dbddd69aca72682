// Process services with set answers; open_process hands out handles whose
// process ends when the test says so, and records the pids asked for.
#ifndef MSGPOST_PLATFORM_PROCESS_FAKE_H_
#define MSGPOST_PLATFORM_PROCESS_FAKE_H_

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "msgpost/platform/process.h"

namespace platform {

class process_fake : public process_services {
 public:
  std::u16string user_name() override { return user; }
  std::u16string computer_name() override { return computer; }
  int32_t process_id() override { return pid; }
  std::u16string module_name() override { return module; }
  std::unique_ptr<process_handle> open_process(int32_t p) override;

  std::u16string user = u"User";
  std::u16string computer = u"Host.Example";
  int32_t pid = 4242;
  std::u16string module = u"MsgPost";
  std::set<int32_t> live;           // pids that open_process can open
  std::atomic<bool> ended = false;  // every opened process has ended

  std::mutex mu;                // guards opened
  std::vector<int32_t> opened;  // pids passed to open_process
};

}  // namespace platform

#endif  // MSGPOST_PLATFORM_PROCESS_FAKE_H_
