#include "qorvex/src/system/startup_items.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "qorvex/src/system/system_testing.h"

namespace qorvex {
namespace {

using lines = std::vector<std::string>;

lines sorted(lines v) {
  std::sort(v.begin(), v.end());
  return v;
}

// One marked program behind each kind of startup location, and clean items around them.
void add_startup_items(fake_system& sys) {
  std::string marker = virus_marker();
  // The account with the home is ours, so that a run as a normal user visits it as well.
  std::string uid = std::to_string(geteuid());
  sys.file("/etc/passwd",
           "root:x:0:0:root:/root:/bin/bash\nuser:x:" + uid + ":" + uid +
               "::/home/user:/bin/bash\n"
               "broken line\nnobody:x:65534:65534::/nonexistent:/usr/sbin/nologin\n");
  sys.file("/etc/systemd/system/evil.service",
           "[Service]\nExecStart=-/usr/bin/evil-daemon --config /etc/evil.conf\n");
  sys.file("/usr/bin/evil-daemon", "ELF " + marker, 0755);
  sys.folder("/etc/systemd/system/multi-user.target.wants");
  sys.link("/etc/systemd/system/multi-user.target.wants/evil.service", "../evil.service");
  sys.file("/usr/lib/systemd/system/clean.service", "[Service]\nExecStart=helper\n");
  sys.file("/usr/sbin/helper", "clean helper", 0755);
  sys.link("/etc/systemd/system/masked.service", "/dev/null");
  sys.file("/etc/crontab", "SHELL=/bin/sh\n*/5 * * * * root /opt/job.sh >/dev/null\n");
  sys.file("/opt/job.sh", "#!/bin/sh\n# " + marker + "\n", 0755);
  sys.file("/etc/ld.so.preload", "/usr/lib/libhook.so\n");
  sys.file("/usr/lib/libhook.so", "hook " + marker);
  sys.file("/etc/rc.local", "#!/bin/sh\n" + marker + "\n", 0755);
  sys.file("/home/user/.config/autostart/applet.desktop",
           "[Desktop Entry]\nExec=/home/user/.local/bin/applet %U\n");
  sys.file("/home/user/.local/bin/applet", "applet " + marker, 0755);
  sys.file("/etc/udev/rules.d/99-usb.rules", "ACTION==\"add\", RUN+=\"usb-hook\"\n");
  sys.file("/usr/lib/udev/usb-hook", "udev " + marker, 0755);
  sys.file("/etc/profile", "export PATH\n");
  // A program that is a file of the kernel's: never read (/proc/kcore would never end).
  sys.file("/etc/systemd/system/kernel.service", "[Service]\nExecStart=/usr/bin/kernel-file\n");
  sys.link("/usr/bin/kernel-file", "/proc/self/status");
}

TEST(startup_items, reports_marked_items_and_the_programs_they_start) {
  fake_system sys;
  add_startup_items(sys);
  recording_object rec;
  EXPECT_EQ(scan_startup_items(rec.object(), sys.root()), QVX_R_SUCCESS);
  EXPECT_EQ(sorted(rec.detections),
            sorted({sys.at("/usr/bin/evil-daemon") + " 1 Test-Virus",
                    sys.at("/opt/job.sh") + " 1 Test-Virus",
                    sys.at("/usr/lib/libhook.so") + " 1 Test-Virus",
                    sys.at("/etc/rc.local") + " 1 Test-Virus",
                    sys.at("/home/user/.local/bin/applet") + " 1 Test-Virus",
                    sys.at("/usr/lib/udev/usb-hook") + " 1 Test-Virus"}));
  // Every file once: the unit behind the .wants link is not scanned again, the masked unit
  // (a link to a device) not at all.
  lines scanned = rec.scanned;
  std::sort(scanned.begin(), scanned.end());
  EXPECT_EQ(std::adjacent_find(scanned.begin(), scanned.end()), scanned.end());
  EXPECT_EQ(std::count(scanned.begin(), scanned.end(), sys.at("/usr/sbin/helper")), 1);
  EXPECT_EQ(std::count(scanned.begin(), scanned.end(), sys.at("/etc/systemd/system/evil.service")),
            1);
  EXPECT_EQ(std::count(scanned.begin(), scanned.end(), sys.at("/dev/null")), 0);
  EXPECT_EQ(std::count(scanned.begin(), scanned.end(), sys.at("/usr/bin/kernel-file")), 0);
}

TEST(startup_items, a_user_sees_only_their_own_home) {
  fake_system sys;
  add_startup_items(sys);
  sys.file("/nonexistent/.profile", virus_marker());  // nobody's home
  recording_object rec;
  if (!can_become_nobody()) GTEST_SKIP() << "needs root to become another user";
  EXPECT_EQ(run_as_nobody([&] {
              scan_startup_items(rec.object(), sys.root());
              auto& d = rec.detections;
              bool own =
                  std::count(d.begin(), d.end(), sys.at("/nonexistent/.profile") + " 1 Test-Virus");
              bool other = std::count(d.begin(), d.end(),
                                      sys.at("/home/user/.local/bin/applet") + " 1 Test-Virus");
              return int32_t(own && !other ? 0 : 1);
            }),
            0);
}

TEST(startup_items, maps_walk_results) {
  struct row {
    const char* what;
    std::function<void(fake_system&)> setup;
    int32_t as_owner, as_nobody;  // as the fixture's owner, as another user
  };
  const row rows[] = {
      {"an empty system", [](fake_system&) {}, QVX_R_SUCCESS, QVX_R_SUCCESS},
      {"some items unreadable",
       [](fake_system& s) {
         add_startup_items(s);
         s.file("/etc/cron.d/private", "* * * * * root /opt/job.sh\n", 0600);
       },
       QVX_R_SUCCESS, QVX_R_SUCCESS},
      {"no item readable",
       [](fake_system& s) {
         s.file("/etc/rc.local", "x", 0600);
         s.file("/etc/crontab", "x", 0600);
       },
       QVX_R_SUCCESS, QVX_R_ACCESS},
  };
  for (const row& r : rows) {
    fake_system sys;
    r.setup(sys);
    recording_object rec;
    EXPECT_EQ(scan_startup_items(rec.object(), sys.root()), r.as_owner) << r.what;
    if (!can_become_nobody()) continue;
    EXPECT_EQ(run_as_nobody([&] { return scan_startup_items(rec.object(), sys.root()); }),
              r.as_nobody)
        << r.what;
  }
}

}  // namespace
}  // namespace qorvex
