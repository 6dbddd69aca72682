// The ClamAV database files among the sources of `qvxdef compile`: read by extension, with a
// summary line per database on standard output and a line per skipped signature on standard error.
#ifndef QORVEX_TOOLS_QVXDEF_DATABASES_H_
#define QORVEX_TOOLS_QVXDEF_DATABASES_H_

#include <string>
#include <vector>

#include "qorvex/src/clamav_db.h"

namespace qvxdef {

// True when the path names a database or container file rather than a definitions source.
bool is_database_path(const std::string& path);

// Reads one database or container file into *set, appending a report per database. False with
// a message on standard error when it cannot be read or is malformed.
bool read_database(const std::string& path, qorvex::source_set* set,
                   std::vector<qorvex::db_report>* reports);

// Applies the .ign2 lists to the set, then prints each report.
void finish_databases(qorvex::source_set* set, std::vector<qorvex::db_report>* reports);

}  // namespace qvxdef

#endif  // QORVEX_TOOLS_QVXDEF_DATABASES_H_
