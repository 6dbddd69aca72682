# Sources, unit tests and end-to-end tests of the definitions update, included by
# scanner/CMakeLists.txt. FERROX_UPDATE_SOURCES join ferrox_core; FERROX_UPDATE_TESTS join
# ferrox_test.
set(FERROX_UPDATE_SOURCES update/update.cc)
set(FERROX_UPDATE_TESTS)
