// The per-user data folder.
#ifndef FERROX_SCANNER_PLATFORM_USER_FOLDER_H_
#define FERROX_SCANNER_PLATFORM_USER_FOLDER_H_

#include <string>

namespace ferrox {

class user_folder {
 public:
  virtual ~user_folder() = default;

  // The per-user local data folder, where the update settings file lives: $XDG_DATA_HOME when it
  // is an absolute path, else $HOME/.local/share when HOME is absolute, else the home folder of
  // the password database + "/.local/share". Trailing "/" are dropped (the root stays "/").
  // Missing folders on the way are created with mode 0700; existing ones keep their mode. False
  // when there is no home, a component cannot be created, or a non-folder is in the way.
  virtual bool local_data_folder(std::string& out) = 0;
};

// The real one; lives for the whole process. Reads the environment: call it from one thread.
user_folder& default_user_folder();

}  // namespace ferrox

#endif  // FERROX_SCANNER_PLATFORM_USER_FOLDER_H_
