#include "qorvex/src/system/startup_parse.h"

#include <gtest/gtest.h>

#include <functional>

namespace qorvex {
namespace {

using words = std::vector<std::string>;

struct row {
  const char* what;
  std::function<words(std::string_view)> parse;
  const char* text;
  words expected;
};

TEST(startup_parse, finds_program_references) {
  auto unit = [](std::string_view t) { return unit_references(t); };
  auto cron = [](std::string_view t) { return cron_references(t, false); };
  auto system_cron = [](std::string_view t) { return cron_references(t, true); };
  auto anacron = [](std::string_view t) { return anacron_references(t); };
  auto desktop = [](std::string_view t) { return desktop_references(t); };
  auto preload = [](std::string_view t) { return preload_references(t); };
  auto udev = [](std::string_view t) { return udev_references(t); };
  const row rows[] = {
      {"unit prefixes and arguments",
       unit,
       "[Service]\nExecStart=-@/usr/bin/daemon daemon --config=/etc/d.conf\n",
       {"/usr/bin/daemon", "/etc/d.conf"}},
      {"unit bare name", unit, "ExecStartPre=+!mkdir -p /run/x\n", {"mkdir", "/run/x"}},
      {"unit every exec key",
       unit,
       "ExecCondition=/a\nExecReload=/b\nExecStop=/c\nExecStopPost=/d\nExecStartPost=/e\n",
       {"/a", "/b", "/c", "/d", "/e"}},
      {"unit continuation and shell text",
       unit,
       "ExecStart=/bin/sh -c \\\n  'test -x /usr/sbin/tool || /usr/sbin/other'\n",
       {"/bin/sh", "/usr/sbin/tool", "/usr/sbin/other"}},
      {"unit other keys and comments",
       unit,
       "# ExecStart=/commented\nDescription=/not/a/command\nExec=/x\n",
       {}},
      {"unit blanks around the equals sign",
       unit,
       "ExecStart = /usr/bin/spaced\n",
       {"/usr/bin/spaced"}},
      {"user crontab",
       cron,
       "# m h dom mon dow command\nSHELL=/bin/sh\n*/5 * * * * /home/u/job.sh --x\n"
       "@reboot /home/u/boot.sh\n",
       {"/home/u/job.sh", "/home/u/boot.sh"}},
      {"system crontab with a user field",
       system_cron,
       "17 * * * * root cd / && run-parts --report /etc/cron.hourly\n"
       "@reboot root /usr/local/bin/at-boot\n",
       {"cd", "/", "/etc/cron.hourly", "/usr/local/bin/at-boot"}},
      {"cron line too short for a command", cron, "* * * *\n", {}},
      {"anacrontab",
       anacron,
       "SHELL=/bin/sh\n1\t5\tcron.daily\trun-parts --report /etc/cron.daily\n",
       {"run-parts", "/etc/cron.daily"}},
      {"desktop entry",
       desktop,
       "[Desktop Entry]\nName=x\nExec=/usr/bin/applet --open %U\nTryExec=applet\n",
       {"/usr/bin/applet", "applet"}},
      {"desktop quoted program",
       desktop,
       "Exec=\"/opt/my app/run\" %f\n",
       {"/opt/my app/run", "/opt/my"}},
      {"preload separators",
       preload,
       "/lib/a.so /lib/b.so:/lib/c.so\n# x\nrelative.so\n",
       {"/lib/a.so", "/lib/b.so", "/lib/c.so"}},
      {"udev rules",
       udev,
       "ACTION==\"add\", SUBSYSTEM==\"usb\", RUN+=\"/usr/local/bin/on-usb $kernel\"\n"
       "KERNEL==\"sd*\", PROGRAM=\"scsi_id --whitelisted\", RUN{program}+=\"/bin/x\"\n"
       "IMPORT{program}=\"helper\", RUN{builtin}+=\"kmod load\", ENV{X}=\"/not/run\"\n",
       {"/usr/local/bin/on-usb", "/usr/lib/udev/scsi_id", "/bin/x", "/usr/lib/udev/helper"}},
  };
  for (const row& r : rows) EXPECT_EQ(r.parse(r.text), r.expected) << r.what;
}

TEST(startup_parse, caps_references_per_item) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "ExecStart=/bin/p" + std::to_string(i) + "\n";
  EXPECT_EQ(unit_references(text).size(), kMaxReferencesPerItem);
}

}  // namespace
}  // namespace qorvex
