// ferrox64: the on-demand malware scanner for the command line.
#include "scanner/platform/files.h"
#include "scanner/run/run_sequence.h"

int main(int argc, char** argv) {
  // Before anything is opened: a report file must never land on a closed standard descriptor.
  ferrox::open_standard_descriptors();
  return ferrox::run_scanner(argc, argv);
}
