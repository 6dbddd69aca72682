#include "scanner/run/process_owners.h"

namespace ferrox {

process_owners& owners() {
  static process_owners the_owners;
  return the_owners;
}

void release_owners() {
  process_owners& o = owners();
  o.samples.destroy();
  o.options.reset();
  o.output.reset();
  install_catalogue(nullptr);
  o.catalogue.reset();
}

}  // namespace ferrox
