#include "qorvex/tools/qvxdef_databases.h"

#include <cstdio>

#include "qorvex/src/defs_registry.h"

namespace qvxdef {
namespace {

// Database files of a real feed reach a few hundred megabytes.
constexpr uint64_t kMaxDatabaseSize = 2ull << 30;

// Signature kinds of the ClamAV formats that this engine does not compile: each of their
// signatures is reported as skipped.
bool unsupported_signatures(const std::string& ext) {
  static const char* kinds[] = {".ndu", ".ldu",  ".hdu", ".hsu", ".mdu", ".msu", ".cdb",
                                ".idb", ".ftm",  ".pdb", ".wdb", ".gdb", ".crb", ".cbc",
                                ".yar", ".yara", ".db",  ".zmd", ".rmd"};
  for (const char* k : kinds) {
    if (ext == k) return true;
  }
  return false;
}

void skip_all(const std::string& ext, const std::string& text, const std::string& label,
              qorvex::db_report* report) {
  size_t line_no = 0, at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    std::string line = text.substr(at, nl == std::string::npos ? std::string::npos : nl - at);
    at = nl == std::string::npos ? text.size() : nl + 1;
    ++line_no;
    if (line.empty() || line == "\r") continue;
    std::string name = line.substr(0, line.find_first_of(":;"));
    report->skipped.push_back(label + ":" + std::to_string(line_no) + ": signature " + name +
                              " skipped: " + ext + " signatures are not supported");
  }
}

bool read_one(const std::string& ext, const std::string& text, const std::string& label,
              qorvex::source_set* set, std::vector<qorvex::db_report>* reports) {
  qorvex::db_report report;
  report.label = label;
  if (unsupported_signatures(ext)) {
    skip_all(ext, text, label, &report);
  } else {
    std::string err;
    if (!qorvex::parse_db_file(ext, text, label, set, &report, &err)) {
      std::fprintf(stderr, "qvxdef compile: %s\n", err.c_str());
      return false;
    }
  }
  reports->push_back(std::move(report));
  return true;
}

}  // namespace

bool is_database_path(const std::string& path) {
  return qorvex::is_db_extension(qorvex::extension_of(path));
}

bool read_database(const std::string& path, qorvex::source_set* set,
                   std::vector<qorvex::db_report>* reports) {
  std::string bytes, err;
  if (!qorvex::read_small_file(path, kMaxDatabaseSize, &bytes, &err)) {
    std::fprintf(stderr, "qvxdef compile: %s\n", err.c_str());
    return false;
  }
  std::string ext = qorvex::extension_of(path);
  if (ext != ".cvd" && ext != ".cld" && ext != ".cud")
    return read_one(ext, bytes, path, set, reports);
  std::vector<qorvex::db_member> members;
  if (!qorvex::unpack_container(bytes, &members, &err)) {
    std::fprintf(stderr, "qvxdef compile: %s: %s\n", path.c_str(), err.c_str());
    return false;
  }
  bytes = std::string();
  for (const qorvex::db_member& m : members) {
    std::string member_ext = qorvex::extension_of(m.name);
    // Other members (.info, .cfg and the like) hold no signatures.
    if (!qorvex::is_db_extension(member_ext) && !unsupported_signatures(member_ext)) continue;
    if (!read_one(member_ext, m.bytes, path + "/" + m.name, set, reports)) return false;
  }
  return true;
}

void finish_databases(qorvex::source_set* set, std::vector<qorvex::db_report>* reports) {
  std::set<std::string> ignored;
  for (const qorvex::db_report& r : *reports) ignored.insert(r.ignored.begin(), r.ignored.end());
  qorvex::drop_names(ignored, set, reports);
  for (const qorvex::db_report& r : *reports) {
    for (const std::string& line : r.skipped) std::fprintf(stderr, "%s\n", line.c_str());
    std::printf("%s: %zu signatures compiled, %zu skipped\n", r.label.c_str(), r.compiled,
                r.skipped.size());
  }
  std::fflush(stdout);
}

}  // namespace qvxdef
