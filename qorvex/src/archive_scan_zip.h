// The central directory of a zip: where the end record puts it, its entries, and the check that
// no two entries share stored bytes.
#ifndef QORVEX_SRC_ARCHIVE_SCAN_ZIP_H_
#define QORVEX_SRC_ARCHIVE_SCAN_ZIP_H_

#include <cstdint>
#include <string>
#include <vector>

#include "common/little_endian.h"
#include "qorvex/src/archive_scan.h"

namespace qorvex::zip {

using common::le16;
using common::le32;
using common::le64;

struct entry {
  std::string name;
  uint16_t flags = 0, method = 0, name_length = 0;
  uint32_t crc = 0;
  uint64_t csize = 0, usize = 0, offset = 0;
};

enum class directory { ok, miscounted, damaged };

// Reads the entries the central directory holds, through its whole size, but at most
// max_entries of them. The directory itself decides what is there: a count in the end record
// that disagrees gives `miscounted` (a 16-bit count without a zip64 record is compared modulo
// 65,536, as writers that predate zip64 wrapped it), and the entries found are still read.
directory read_directory(const byte_source& s, uint64_t max_entries, std::vector<entry>* out);

// Entries whose stored bytes overlap each other: the mark of a zip that expands one small
// stored stream many times over.
bool entries_overlap(const std::vector<entry>& entries);

}  // namespace qorvex::zip

#endif  // QORVEX_SRC_ARCHIVE_SCAN_ZIP_H_
