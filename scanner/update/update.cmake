# Sources, unit tests and end-to-end tests of the definitions update, included by
# scanner/CMakeLists.txt. FERROX_UPDATE_SOURCES join ferrox_core; FERROX_UPDATE_TESTS join
# ferrox_test.
# Release signatures are checked with OpenSSL.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
set(FERROX_UPDATE_SOURCES
  platform/staging_linux.cc
  platform/update_files_linux.cc
  platform/user_folder_linux.cc
  update/install.cc
  update/journal.cc
  update/release_signature.cc
  update/staged_release.cc
  update/transfer.cc
  update/update.cc
  update/update_settings.cc
)
set(FERROX_UPDATE_TESTS
  platform/user_folder_test.cc
  update/install_test.cc
  update/journal_test.cc
  update/release_signature_test.cc
  update/transfer_test.cc
  update/update_settings_test.cc
  update/update_test.cc
  update/zip_fixture.cc
)

# Its end-to-end cases are tests/e2e/cases/update/ (the `update` runner plug-in).
