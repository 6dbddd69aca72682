// qvxdef compile: sources in, the signatures file and the companion file out.
#include <cstdio>
#include <ctime>

#include "qorvex/src/defs_registry.h"
#include "qorvex/src/defs_writer.h"
#include "qorvex/src/source_parser.h"
#include "qorvex/src/yara_source.h"
#include "qorvex/tools/qvxdef_commands.h"
#include "qorvex/tools/qvxdef_databases.h"

namespace qvxdef {

namespace {
// Sources are text a person writes; anything larger is a mistake.
constexpr uint64_t kMaxSourceSize = 256ull << 20;
// The current UTC time as a definitions identifier.
std::string current_id() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y%m%d%H%M", &tm);
  return buf;
}
}  // namespace

int run_compile(const args& a) {
  std::string id, out_dir = ".", sig_name = "sigbase-v2.def",
                  companion_name = qorvex::kCompanionFileName;
  std::vector<std::string> sources;
  bool portable = false;
  for (const std::string& arg : a) {
    if (arg == "--portable") {
      portable = true;
      continue;
    }
    if (take_option(arg, "id", &id) || take_option(arg, "out-dir", &out_dir) ||
        take_option(arg, "signatures", &sig_name) ||
        take_option(arg, "companion", &companion_name)) {
      continue;
    }
    if (arg.compare(0, 2, "--") == 0) {
      std::fprintf(stderr, "qvxdef compile: unknown option %s\n", arg.c_str());
      return 2;
    }
    sources.push_back(arg);
  }
  if (sources.empty()) {
    std::fprintf(stderr, "qvxdef compile: no source files\n");
    return 2;
  }
  qorvex::source_set set;
  std::string err;
  int yara_sources = 0;
  std::vector<qorvex::db_report> databases;
  for (const std::string& path : sources) {
    if (is_database_path(path)) {
      if (!read_database(path, &set, &databases)) return 1;
      continue;
    }
    std::string text;
    if (!qorvex::read_small_file(path, kMaxSourceSize, &text, &err)) {
      std::fprintf(stderr, "qvxdef compile: %s\n", err.c_str());
      return 1;
    }
    if (qorvex::is_yara_source(path)) {
      ++yara_sources;
      qorvex::yara_report report;
      if (!qorvex::add_yara_source(path, text, &set, &report, &err)) {
        std::fprintf(stderr, "qvxdef compile: %s\n", err.c_str());
        return 1;
      }
      for (const std::string& line : report.skips) std::fprintf(stderr, "%s\n", line.c_str());
      std::printf("%s: %d rules compiled, %d skipped\n", path.c_str(), report.compiled,
                  report.skipped);
      continue;
    }
    if (!qorvex::parse_source(text, path, &set, &err)) {
      std::fprintf(stderr, "qvxdef compile: %s\n", err.c_str());
      return 1;
    }
  }
  if (!databases.empty()) finish_databases(&set, &databases);
  if (id.empty()) id = set.id;
  // Rule files and signature databases carry no identifier: such a set is stamped with the time
  // it was compiled.
  if (id.empty() && (yara_sources > 0 || !databases.empty())) id = current_id();
  if (id.empty()) {
    std::fprintf(stderr, "qvxdef compile: no identifier: give --id= or an `id` line\n");
    return 1;
  }
  qorvex::compiled_defs out;
  if (!qorvex::compile_defs(set, id, &out, &err, portable)) {
    std::fprintf(stderr, "qvxdef compile: %s\n", err.c_str());
    return 1;
  }
  if (!write_file_atomically(qorvex::join_path(out_dir, sig_name.c_str()), out.signatures) ||
      !write_file_atomically(qorvex::join_path(out_dir, companion_name.c_str()), out.companion)) {
    return 1;
  }
  return 0;
}

}  // namespace qvxdef
