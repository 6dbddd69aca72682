#include "qorvex/src/system/boot_records.h"

#include <gtest/gtest.h>

#include "qorvex/src/crc32.h"
#include "qorvex/src/system/gpt_testing.h"
#include "qorvex/src/system/system_testing.h"

namespace qorvex {
namespace {

using lines = std::vector<std::string>;

// A disk image of `sectors` sectors with a boot-record marker in the boot code area of sector 0.
std::string mbr_image(size_t sector_size, size_t sectors) {
  std::string image(sector_size * sectors, '\0');
  image.replace(16, boot_marker().size(), boot_marker());
  image[510] = char(0x55);
  image[511] = char(0xAA);
  return image;
}

// A GPT disk whose entry array (at LBA 2) holds the marker in its first entry's name.
std::string gpt_image(size_t sector_size, size_t sectors) {
  std::string image(sector_size * sectors, '\0');
  std::string entries(128 * 128, '\0');
  entries[0] = 1;  // a non-zero type GUID: a used entry
  entries.replace(56, boot_marker().size(), boot_marker());
  std::string header = make_gpt_header(sector_size, 1, 2, 128, 128, crc32_of(entries));
  image.replace(sector_size, sector_size, header);
  image.replace(2 * sector_size, entries.size(), entries);
  return image;
}

TEST(boot_records, reports_a_marker_in_the_master_boot_record) {
  fake_system sys;
  sys.disk("vda", mbr_image(512, 64));
  recording_object rec;
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::mbr), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections, lines{sys.at("/dev/vda") + ">MBR 6 Test-Boot"});
}

TEST(boot_records, reads_sectors_at_the_disk_s_sector_size) {
  // With 4096-byte sectors the table header is at byte 4096, and partition starts stay in
  // 512-byte units: start 64 is byte 32768.
  fake_system sys;
  std::string image = gpt_image(4096, 16);
  image.replace(32768 + 100, boot_marker().size(), boot_marker());
  sys.disk("nvme0n1", image, 4096, {{"nvme0n1p1", 64}});
  recording_object rec;
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::gpt), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections, lines{sys.at("/dev/nvme0n1") + ">GPT entries 6 Test-Boot"});
  EXPECT_EQ(rec.scanned, (lines{sys.at("/dev/nvme0n1"), sys.at("/dev/nvme0n1")}));
  rec.detections.clear();
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::boot_sectors), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections, lines{sys.at("/dev/nvme0n1p1") + ">boot sector 6 Test-Boot"});
}

TEST(boot_records, falls_back_to_the_backup_header) {
  fake_system sys;
  std::string image = gpt_image(512, 64);
  std::string backup = image.substr(512, 512);
  image[512 + 20] ^= 1;  // the primary header's CRC no longer holds
  image.replace(63 * 512, 512, backup);
  sys.disk("sda", image);
  recording_object rec;
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::gpt), QVX_R_SUCCESS);
  EXPECT_EQ(rec.detections, lines{sys.at("/dev/sda") + ">GPT entries 6 Test-Boot"});
}

TEST(boot_records, a_disk_size_whose_last_sector_overflows_has_no_backup_header) {
  // 2^55 + 4 sectors: the last one's byte offset wrapped around to 1536, where a header sits.
  fake_system sys;
  std::string image = gpt_image(512, 64);
  std::string header = image.substr(512, 512);
  image[512 + 20] ^= 1;
  image.replace(3 * 512, 512, header);
  sys.disk("sda", image);
  sys.file("/sys/devices/pci0000:00/0000:00:05.0/block/sda/size", "36028797018963972\n");
  recording_object rec;
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::gpt), QVX_R_SUCCESS);
  EXPECT_EQ(rec.scanned, lines{sys.at("/dev/sda")});
  EXPECT_TRUE(rec.detections.empty());
}

TEST(boot_records, a_disk_without_a_table_gives_success_and_nothing_to_scan) {
  fake_system sys;
  sys.disk("sda", std::string(64 * 512, '\0'));
  recording_object rec;
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::gpt), QVX_R_SUCCESS);
  EXPECT_TRUE(rec.scanned.empty());
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::boot_sectors), QVX_R_SUCCESS);
  EXPECT_TRUE(rec.scanned.empty());
}

TEST(boot_records, skips_virtual_empty_and_optical_disks) {
  fake_system sys;
  sys.disk("loop0", mbr_image(512, 8), 512, {}, true);
  sys.disk("sr0", mbr_image(512, 8));
  sys.disk("sdb", mbr_image(512, 8));
  sys.file("/sys/block/sdb/device/type", "5\n");
  sys.disk("sdc", std::string());
  recording_object rec;
  EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), boot_area::mbr), QVX_R_NOT_SUPPORTED);
  EXPECT_TRUE(rec.scanned.empty());
}

TEST(boot_records, maps_machines_where_no_disk_can_be_read) {
  struct row {
    const char* what;
    std::function<void(fake_system&)> setup;
    int32_t as_owner, as_nobody;  // as the fixture's owner, as another user
  };
  const row rows[] = {
      {"no sysfs", [](fake_system&) {}, QVX_R_NOT_SUPPORTED, QVX_R_NOT_SUPPORTED},
      {"no disks", [](fake_system& s) { s.folder("/sys/block"); }, QVX_R_NOT_SUPPORTED,
       QVX_R_NOT_SUPPORTED},
      {"no device node",
       [](fake_system& s) {
         s.disk("sda", mbr_image(512, 8));
         std::remove(s.at("/dev/sda").c_str());
       },
       QVX_R_NOT_SUPPORTED, QVX_R_NOT_SUPPORTED},
      {"node only for root and its group", [](fake_system& s) { s.disk("sda", mbr_image(512, 8)); },
       QVX_R_SUCCESS, QVX_R_ACCESS},
      {"one of two disks readable",
       [](fake_system& s) {
         s.disk("sda", mbr_image(512, 8));
         s.disk("sdb", mbr_image(512, 8));
         s.file("/dev/sdb", mbr_image(512, 8), 0644);
       },
       QVX_R_SUCCESS, QVX_R_SUCCESS},
  };
  for (const row& r : rows) {
    fake_system sys;
    r.setup(sys);
    for (boot_area area : {boot_area::mbr, boot_area::gpt, boot_area::boot_sectors}) {
      recording_object rec;
      EXPECT_EQ(scan_boot_area(rec.object(), sys.root(), area), r.as_owner) << r.what;
      if (!can_become_nobody()) continue;
      EXPECT_EQ(run_as_nobody([&] { return scan_boot_area(rec.object(), sys.root(), area); }),
                r.as_nobody)
          << r.what;
    }
  }
}

}  // namespace
}  // namespace qorvex
