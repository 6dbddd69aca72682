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


# End-to-end cases: the real program, engine and shipped definitions of build/bin against HTTP
# servers on loopback. The test-double engine serves the case where the engine has no identifier.
if(FERROX_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(FERROX_UPDATE_E2E_CASES
    archive_corrupt_entry archive_cut_short archive_entry_missing archive_error_page avupd_wins
    baseurl_slash deflocation description_error_status engine_no_identifier equal_identifier
    failed_rename file_url_refused interrupted_install no_settings older_identifier proxy
    refused_packages repairs_damaged_install section_header server_stalls settings_in_home
    signed_releases updated wrong_password)
  foreach(update_case IN LISTS FERROX_UPDATE_E2E_CASES)
    add_test(NAME e2e.update.${update_case}
      COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/e2e/update/run_update_case.py
        --case ${update_case} --bin ${FERROX_BIN_DIR}
        --fake-engine ${CMAKE_BINARY_DIR}/tests/fake_engine
        --publish $<TARGET_FILE:qvxdef>)
    set_tests_properties(e2e.update.${update_case} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
