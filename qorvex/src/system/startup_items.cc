#include "qorvex/src/system/startup_items.h"

#include <linux/magic.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qorvex/src/engine_object.h"
#include "qorvex/src/system/startup_parse.h"
#include "qorvex/src/system/system_files.h"

namespace qorvex {
namespace {

// Files of the kernel's own file systems are no programs, and some never end (/proc/kcore is
// as large as the address space): a startup item that names one is not scanned.
bool on_kernel_file_system(const std::string& path) {
  struct statfs fs;
  if (statfs(path.c_str(), &fs) != 0) return true;
  switch (fs.f_type) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case EFIVARFS_MAGIC:
      return true;
    default:
      return false;
  }
}

// How an item is read for program references.
enum class parse_as { nothing, unit, cron, cron_with_user, anacron, desktop, preload, udev };

constexpr const char* kSearchPath[] = {"/usr/local/sbin", "/usr/local/bin", "/usr/sbin",
                                       "/usr/bin",        "/sbin",          "/bin"};

class startup_walk {
 public:
  startup_walk(engine_object& object, const system_root& root) : object_(object), root_(root) {}

  // A startup file at a system path; scanned, then read for references.
  void item(const std::string& system_path, parse_as how) {
    std::string path = root_.path(system_path);
    if (items_ >= kMaxStartupItems || !take(path)) return;
    ++items_;
    scan(path);
    if (how == parse_as::nothing) return;
    std::string text;
    if (read_small_file(path, kMaxParsedBytes, &text) != 0) return;
    for (const std::string& word : references(text, how)) reference(word);
  }

  // Every entry of a folder (one level), when `suffix` is empty or ends the name.
  void folder(const std::string& system_dir, parse_as how, std::string_view suffix = "") {
    for (const std::string& name : sorted_entries(system_dir)) {
      if (name.ends_with(suffix)) item(system_dir + "/" + name, how);
    }
  }

  // A systemd unit folder: its units, and the links and drop-ins of its .wants, .requires and
  // .d folders.
  void unit_folder(const std::string& system_dir) {
    for (const std::string& name : sorted_entries(system_dir)) {
      std::string sub = system_dir + "/" + name;
      if (name.ends_with(".wants") || name.ends_with(".requires") || name.ends_with(".d")) {
        folder(sub, parse_as::unit);
      } else {
        item(sub, parse_as::unit);
      }
    }
  }

  int32_t result() const {
    if (scanned_ == 0 && denied_ > 0) return QVX_R_ACCESS;
    return QVX_R_SUCCESS;
  }

 private:
  // True for a regular file (links followed) not seen before.
  bool take(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return !on_kernel_file_system(path) && seen_.insert({st.st_dev, st.st_ino}).second;
  }

  void scan(const std::string& path) {
    int32_t r = object_.scan_file(path);
    if (r == QVX_R_SUCCESS || r == QVX_R_DETECTED) {
      ++scanned_;
    } else if (r == QVX_R_ACCESS) {
      ++denied_;
    }
  }

  void reference(const std::string& word) {
    if (references_ >= kMaxStartupReferences) return;
    if (word.front() == '/') {
      std::string path = root_.path(word);
      if (!take(path)) return;
      ++references_;
      scan(path);
      return;
    }
    for (const char* dir : kSearchPath) {
      std::string path = root_.path(std::string(dir) + "/" + word);
      struct stat st;
      if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      if (take(path)) {
        ++references_;
        scan(path);
      }
      return;
    }
  }

  static std::vector<std::string> references(std::string_view text, parse_as how) {
    switch (how) {
      case parse_as::unit:
        return unit_references(text);
      case parse_as::cron:
        return cron_references(text, false);
      case parse_as::cron_with_user:
        return cron_references(text, true);
      case parse_as::anacron:
        return anacron_references(text);
      case parse_as::desktop:
        return desktop_references(text);
      case parse_as::preload:
        return preload_references(text);
      case parse_as::udev:
        return udev_references(text);
      case parse_as::nothing:
        break;
    }
    return {};
  }

  std::vector<std::string> sorted_entries(const std::string& system_dir) const {
    std::vector<std::string> names;
    list_folder(root_.path(system_dir), kMaxFolderEntries, &names);
    std::sort(names.begin(), names.end());
    return names;
  }

  engine_object& object_;
  const system_root& root_;
  std::set<std::pair<dev_t, ino_t>> seen_;
  size_t items_ = 0, references_ = 0, scanned_ = 0, denied_ = 0;
};

// Splits a password file line into its seven fields; false when it has fewer than six.
bool password_fields(std::string_view line, std::vector<std::string_view>* fields) {
  fields->clear();
  size_t start = 0;
  for (size_t i = 0; i <= line.size() && fields->size() < 7; ++i) {
    if (i == line.size() || line[i] == ':') {
      fields->push_back(line.substr(start, i - start));
      start = i + 1;
    }
  }
  return fields->size() >= 6;
}

// Home folders (system paths): every account's as root, else our own. The running system is
// asked through the name service, so accounts from a directory service count too; a fake root
// is asked through its password file.
std::vector<std::string> home_folders(const system_root& root) {
  std::vector<std::string> homes;
  const uid_t self = geteuid();
  auto take = [&](uint64_t uid, std::string_view home) {
    if ((self == 0 || uid == self) && home.starts_with("/") && homes.size() < kMaxHomes) {
      homes.emplace_back(home);
    }
  };
  if (root.is_real()) {
    setpwent();
    for (passwd* entry = getpwent(); entry != nullptr && homes.size() < kMaxHomes;
         entry = getpwent()) {
      if (entry->pw_dir != nullptr) take(entry->pw_uid, entry->pw_dir);
    }
    endpwent();
  } else {
    std::string text;
    read_small_file(root.path("/etc/passwd"), 16 << 20, &text);
    std::vector<std::string_view> fields;
    for (std::string_view line : split_lines(text)) {
      uint64_t uid = 0;
      if (password_fields(line, &fields) && parse_unsigned(fields[2], 10, &uid)) {
        take(uid, fields[5]);
      }
    }
  }
  std::sort(homes.begin(), homes.end());
  homes.erase(std::unique(homes.begin(), homes.end()), homes.end());
  for (std::string& home : homes) {
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home == "/") home.clear();  // so that home + "/.profile" is "/.profile"
  }
  return homes;
}

void system_locations(startup_walk& walk) {
  for (const char* dir : {"/etc/systemd/system", "/run/systemd/system",
                          "/usr/local/lib/systemd/system", "/usr/lib/systemd/system",
                          "/lib/systemd/system", "/etc/systemd/user", "/usr/lib/systemd/user"}) {
    walk.unit_folder(dir);
  }
  for (const char* dir :
       {"/etc/systemd/system-generators", "/usr/local/lib/systemd/system-generators",
        "/usr/lib/systemd/system-generators", "/lib/systemd/system-generators",
        "/etc/systemd/user-generators", "/usr/lib/systemd/user-generators"}) {
    walk.folder(dir, parse_as::nothing);
  }
  walk.folder("/etc/init.d", parse_as::nothing);
  for (const char* level : {"0", "1", "2", "3", "4", "5", "6", "S"}) {
    walk.folder(std::string("/etc/rc") + level + ".d", parse_as::nothing);
  }
  walk.item("/etc/rc.local", parse_as::nothing);
  walk.item("/etc/crontab", parse_as::cron_with_user);
  walk.folder("/etc/cron.d", parse_as::cron_with_user);
  walk.folder("/var/spool/cron/crontabs", parse_as::cron);
  walk.folder("/var/spool/cron", parse_as::cron);  // the layout without a crontabs folder
  walk.item("/etc/anacrontab", parse_as::anacron);
  for (const char* period : {"hourly", "daily", "weekly", "monthly"}) {
    walk.folder(std::string("/etc/cron.") + period, parse_as::nothing);
  }
  walk.folder("/var/spool/cron/atjobs", parse_as::nothing);
  walk.folder("/etc/xdg/autostart", parse_as::desktop, ".desktop");
  for (const char* file : {"/etc/profile", "/etc/bash.bashrc", "/etc/environment"}) {
    walk.item(file, parse_as::nothing);
  }
  walk.folder("/etc/profile.d", parse_as::nothing);
  walk.folder("/etc/zsh", parse_as::nothing);
  walk.item("/etc/ld.so.preload", parse_as::preload);
  for (const char* dir :
       {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"}) {
    walk.folder(dir, parse_as::udev, ".rules");
  }
  walk.folder("/etc/modules-load.d", parse_as::nothing);
  walk.item("/etc/modules", parse_as::nothing);
}

void home_locations(startup_walk& walk, const std::string& home) {
  walk.unit_folder(home + "/.config/systemd/user");
  walk.folder(home + "/.config/autostart", parse_as::desktop, ".desktop");
  for (const char* file :
       {".profile", ".bash_profile", ".bash_login", ".bashrc", ".bash_logout", ".zshrc",
        ".zprofile", ".xprofile", ".xsessionrc", ".xinitrc", ".ssh/rc"}) {
    walk.item(home + "/" + file, parse_as::nothing);
  }
}

}  // namespace

int32_t scan_startup_items(engine_object& object, const system_root& root) {
  startup_walk walk(object, root);
  system_locations(walk);
  for (const std::string& home : home_folders(root)) home_locations(walk, home);
  return walk.result();
}

}  // namespace qorvex
