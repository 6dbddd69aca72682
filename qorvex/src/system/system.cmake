# The engine's system-area work (memory, process tools, boot records, startup items), included by
# qorvex/CMakeLists.txt: QORVEX_SYSTEM_SOURCES join qorvex_core, QORVEX_SYSTEM_TESTS join qorvex_test.
set(QORVEX_SYSTEM_SOURCES)
set(QORVEX_SYSTEM_TESTS)
