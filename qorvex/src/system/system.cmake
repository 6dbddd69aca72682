# The engine's system-area work (memory, process tools, boot records, startup items), included by
# qorvex/CMakeLists.txt: QORVEX_SYSTEM_SOURCES join qorvex_core, QORVEX_SYSTEM_TESTS join qorvex_test.
set(QORVEX_SYSTEM_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QORVEX_SYSTEM_SOURCES
  ${QORVEX_SYSTEM_DIR}/boot_records.cc
  ${QORVEX_SYSTEM_DIR}/chunk_scanner.cc
  ${QORVEX_SYSTEM_DIR}/cpu_budget.cc
  ${QORVEX_SYSTEM_DIR}/disk_list.cc
  ${QORVEX_SYSTEM_DIR}/gpt.cc
  ${QORVEX_SYSTEM_DIR}/memory_reader.cc
  ${QORVEX_SYSTEM_DIR}/private_output.cc
  ${QORVEX_SYSTEM_DIR}/proc_maps.cc
  ${QORVEX_SYSTEM_DIR}/process_scanner.cc
  ${QORVEX_SYSTEM_DIR}/process_table.cc
  ${QORVEX_SYSTEM_DIR}/process_tools.cc
  ${QORVEX_SYSTEM_DIR}/startup_items.cc
  ${QORVEX_SYSTEM_DIR}/startup_parse.cc
  ${QORVEX_SYSTEM_DIR}/system_commands.cc
  ${QORVEX_SYSTEM_DIR}/system_files.cc
  ${QORVEX_SYSTEM_DIR}/system_root.cc)
set(QORVEX_SYSTEM_TESTS
  ${QORVEX_SYSTEM_DIR}/boot_records_test.cc
  ${QORVEX_SYSTEM_DIR}/chunk_scanner_test.cc
  ${QORVEX_SYSTEM_DIR}/cpu_budget_test.cc
  ${QORVEX_SYSTEM_DIR}/gpt_test.cc
  ${QORVEX_SYSTEM_DIR}/proc_maps_test.cc
  ${QORVEX_SYSTEM_DIR}/process_scanner_test.cc
  ${QORVEX_SYSTEM_DIR}/process_tools_test.cc
  ${QORVEX_SYSTEM_DIR}/startup_items_test.cc
  ${QORVEX_SYSTEM_DIR}/startup_parse_test.cc
  ${QORVEX_SYSTEM_DIR}/system_commands_test.cc
  ${QORVEX_SYSTEM_DIR}/system_testing.cc)

# End-to-end cases with the real engine and the built scanner: fake system roots, a process that
# holds a marker, and a run as a normal user.
if(FERROX_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  foreach(system_case boot_records startup_items memory unprivileged)
    add_test(NAME e2e.system.${system_case}
      COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/e2e/system/run_system_case.py
        --bin-dir ${FERROX_BIN_DIR} ${system_case})
  endforeach()
  # Without root (or setpriv) there is no normal user to become: the case reports a skip.
  set_tests_properties(e2e.system.unprivileged PROPERTIES SKIP_RETURN_CODE 77)
endif()
