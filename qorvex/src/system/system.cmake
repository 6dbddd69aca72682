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

# Its end-to-end cases are tests/e2e/cases/system/ (the `system` runner plug-in).
