# Where the service manager's files go, and how files that name an installed path are installed.
# Each folder is relative to the install prefix unless it is absolute.
set(FERROX_SYSTEMD_UNITDIR "lib/systemd/system" CACHE STRING "Folder of the systemd units")
set(FERROX_TMPFILESDIR "lib/tmpfiles.d" CACHE STRING "Folder of the tmpfiles.d snippets")
set(FERROX_SYSUSERSDIR "lib/sysusers.d" CACHE STRING "Folder of the sysusers.d snippets")

# Installs `source` (its name without a trailing .in) into `destination`, with @FERROX_BINDIR@ and
# @FERROX_SBINDIR@ replaced at install time: a prefix given to `cmake --install --prefix` is the
# one the file names, not the one the build was configured with.
function(ferrox_install_configured source destination)
  get_filename_component(source ${source} ABSOLUTE)
  get_filename_component(name ${source} NAME)
  string(REGEX REPLACE "\\.in$" "" name ${name})
  install(CODE "
    set(FERROX_CONFIGURE_SOURCE \"${source}\")
    set(FERROX_CONFIGURE_OUTPUT \"${CMAKE_CURRENT_BINARY_DIR}/installed/${name}\")
    set(FERROX_CONFIGURE_DESTINATION \"${destination}\")
    set(FERROX_CONFIGURE_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
    set(FERROX_CONFIGURE_SBINDIR \"${CMAKE_INSTALL_SBINDIR}\")
    include(\"${PROJECT_SOURCE_DIR}/packaging/configure_installed.cmake\")")
endfunction()
