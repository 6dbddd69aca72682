// ferrox64: the on-demand malware scanner for the command line.
#include "scanner/run/run_sequence.h"

int main(int argc, char** argv) { return ferrox::run_scanner(argc, argv); }
