// ClamAV signature databases, read by `qvxdef compile`: hash lists
// (.hdb .hsb), PE section hash lists (.mdb .msb), body and logical signatures (.ndb .ldb,
// clamav_sigs.h), allow-lists (.fp .sfp), name drop lists (.ign2)
// and the containers that bundle them (.cvd .cld .cud: a text header, then a tar archive, most
// often gzipped). A signature this engine cannot reproduce exactly is skipped with a reason; a
// malformed line refuses the whole file.
#ifndef QORVEX_SRC_CLAMAV_DB_H_
#define QORVEX_SRC_CLAMAV_DB_H_

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "qorvex/src/source_parser.h"

namespace qorvex {

// The kind a malware found by a foreign hash is reported as (1: virus), and its accuracy.
inline constexpr int kForeignKind = 1;
inline constexpr int kForeignAccuracy = 1;

// What reading one database file did.
struct db_report {
  std::string label;
  size_t compiled = 0;
  std::vector<std::string> skipped;                  // "label:line: signature NAME skipped: reason"
  std::set<std::string> ignored;                     // names from an .ign2 file
  std::vector<std::pair<uint32_t, uint32_t>> rules;  // compiled rules: index in the set, line
};

// True for the extensions of database and container files (with the dot: ".hdb").
bool is_db_extension(std::string_view ext);

// Reads one database file (not a container) of the kind its extension says into *out. False,
// with "label:line: reason" in *err, when a line is malformed; *out is then unchanged.
bool parse_db_file(std::string_view ext, std::string_view text, const std::string& label,
                   source_set* out, db_report* report, std::string* err);

// The member files of a container: each with its name, bounded in size and count. False with a
// reason when the header, checksum or archive is damaged.
struct db_member {
  std::string name;
  std::string bytes;
};
bool unpack_container(std::string_view bytes, std::vector<db_member>* out, std::string* err);

// Drops every signature whose name is in `names` from the set; each one dropped is counted
// against the report of its source (reports may be null).
void drop_names(const std::set<std::string>& names, source_set* set,
                std::vector<db_report>* reports);

// The extension of a path with its dot, lower case; empty when there is none.
std::string extension_of(std::string_view path);

}  // namespace qorvex

#endif  // QORVEX_SRC_CLAMAV_DB_H_
