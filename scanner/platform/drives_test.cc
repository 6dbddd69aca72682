#include "scanner/platform/drives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "scanner/targets/targets.h"
#include "scanner/testing.h"

namespace ferrox {
namespace {

// A mount table and a /sys laid out like the real ones.
class drives_test : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* d :
         {"mnt", "mnt/usb", "mnt/cd", "mnt/nfs", "mnt/data", "sys", "sys/dev", "sys/dev/block",
          "sys/block", "sys/block/sda", "sys/block/sda/sda1", "sys/block/sdb", "sys/block/sdb/sdb1",
          "sys/block/sr0", "sys/block/sr0/device"})
      mkdir((dir_.path() + "/" + d).c_str(), 0755);
    dir_.write("sys/block/sda/removable", "0\n");
    dir_.write("sys/block/sda/sda1/partition", "1\n");
    dir_.write("sys/block/sdb/removable", "1\n");
    dir_.write("sys/block/sdb/sdb1/partition", "1\n");
    dir_.write("sys/block/sr0/device/type", "5\n");
    symlink((dir_.path() + "/sys/block/sda/sda1").c_str(),
            (dir_.path() + "/sys/dev/block/8:1").c_str());
    symlink((dir_.path() + "/sys/block/sdb/sdb1").c_str(),
            (dir_.path() + "/sys/dev/block/8:17").c_str());
    symlink((dir_.path() + "/sys/block/sr0").c_str(),
            (dir_.path() + "/sys/dev/block/11:0").c_str());
    const std::string m = dir_.path() + "/mnt";
    const std::string table =
        "22 1 0:21 / /proc rw - proc proc rw\n"
        "25 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
        "26 25 0:5 / /dev/shm rw - tmpfs tmpfs rw\n"
        "27 25 8:17 / " +
        m +
        "/usb rw - vfat /dev/sdb1 rw\n"
        "28 25 11:0 / " +
        m +
        "/cd ro - iso9660 /dev/sr0 ro\n"
        "29 25 0:40 / " +
        m +
        "/nfs rw - nfs4 server:/export rw\n"
        "30 25 8:1 /srv " +
        m + "/data rw - ext4 /dev/sda1 rw\n";
    mountinfo_ = dir_.write("mountinfo", table);
  }

  scoped_temp_dir dir_;
  std::string mountinfo_;
};

TEST_F(drives_test, classes_follow_the_mount_table) {
  auto source = make_drive_source(mountinfo_, dir_.path() + "/sys");
  std::vector<drive> drives;
  ASSERT_TRUE(source->list(drives));
  const std::string m = dir_.path() + "/mnt";
  ASSERT_EQ(drives.size(), 4u);  // proc, tmpfs and the bind of sda1 are no drives
  EXPECT_EQ(drives[0].root, "/");
  EXPECT_EQ(drives[0].type, kDriveFixed);
  EXPECT_EQ(drives[1].root, m + "/usb");
  EXPECT_EQ(drives[1].type, kDriveRemovable);
  EXPECT_EQ(drives[2].type, kDriveCdrom);
  EXPECT_EQ(drives[3].root, m + "/nfs");
  EXPECT_EQ(drives[3].type, kDriveRemote);

  std::vector<std::string> roots;
  ASSERT_TRUE(list_drives(kClassRemovable, roots, *source));
  EXPECT_EQ(roots, std::vector<std::string>{m + "/usb"});
  ASSERT_TRUE(list_drives(7, roots, *source));
  EXPECT_TRUE(roots.empty());
}

TEST_F(drives_test, unreadable_mount_table_fails) {
  auto source = make_drive_source(dir_.path() + "/missing", dir_.path() + "/sys");
  std::vector<std::string> roots;
  EXPECT_FALSE(list_drives(kClassHard, roots, *source));
}

}  // namespace
}  // namespace ferrox
