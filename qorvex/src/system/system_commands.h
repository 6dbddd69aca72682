// The engine's system-area commands: 3 (boot sectors), 4 (master boot records), 5 (GUID
// partition tables), 7 (memory scans and process tools) and 8 (startup items). Each reads the
// system through the root that QORVEX_SYSTEM_ROOT names (system_root.h).
#ifndef QORVEX_SRC_SYSTEM_SYSTEM_COMMANDS_H_
#define QORVEX_SRC_SYSTEM_SYSTEM_COMMANDS_H_

#include <cstdint>

namespace qorvex {

class engine_object;

// Commands 3, 4, 5, 7 and 8; returns the command's result code. Command 7 with a null argument
// is the basic memory scan when `second` is 0 and the advanced one when `second` is the address
// of an int32 holding 1; with a text argument it is the process tool of that name
// ("--dumpProcessList", or "--scanProcess", "--dumpProcessAndModulesMemImage",
// "--dumpProcessOnlyMemImage", "--scanProcessHeaps", "--dumpProcessHeaps" with `first` the
// address of the value text). Anything else gives -2. Runs on the calling thread; events are
// raised through the object.
int32_t run_system_command(engine_object& object, int32_t command, const void* argument,
                           uint64_t first, uint64_t second);

}  // namespace qorvex

#endif  // QORVEX_SRC_SYSTEM_SYSTEM_COMMANDS_H_
