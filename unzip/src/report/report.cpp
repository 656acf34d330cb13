#include "report/report.h"

#include "report/lines.h"

namespace orvane {

namespace {

// Higher priority first when several failures apply.
int rank(int code) {
  const int order[] = {kExitArchive, kExitUnwritable, kExitDestination, kExitEntries};  // 3, 4, 8, 5
  for (int r = 0; r < 4; ++r)
    if (order[r] == code) return r;
  return 4;
}

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

}  // namespace

void WrappedReport::err(const std::string& line) {
  for (const std::string& l : wrap_message(line, width_)) to_.err(l);
}

void WrappedReport::progress(const std::string& line) {
  for (const std::string& l : wrap_message(line, width_)) to_.progress(l);
}

std::string duplicate_detail() { return " (an earlier entry of the archive has the same name; not written)"; }

std::string missing_detail(const PackageCheck::Missing& m) {
  return " (" + kind_text(m.kinds) + ", needed by " + joined(m.needed_by) + ")";
}

std::string unfound_detail(const PackageCheck::Unfound& u) {
  return " (" + (u.which.empty() ? "" : u.which + "; ") + "needed by " + joined(u.needed_by) + "; " + u.why + ")";
}

std::string failed_line(Failure kind, const std::string& name, const std::string& why) {
  return std::string("Failed: ") + token(kind) + ": " + name + " (" + why + ")";
}

void print_outcome(const Run& run, size_t i, Report& report) {
  const Outcome& o = run.outcomes[i];
  switch (o.state) {
    case Outcome::Extracted: report.out("Extracted: " + o.text); break;
    case Outcome::Kept:
      report.out((o.identical ? "Kept (identical): " : "Kept (differs from the archive's): ") + o.text);
      break;
    case Outcome::Duplicate:
      report.out("Duplicate: " + o.text + duplicate_detail());
      break;
    case Outcome::Refused: report.out("Refused: " + run.display_name(i) + " (" + o.text + ")"); break;
    case Outcome::Skipped: report.out("Skipped: " + run.display_name(i)); break;
    case Outcome::Excluded: report.out("Excluded: " + run.display_name(i)); break;
    case Outcome::Tested: report.out("Tested: " + o.text); break;
    case Outcome::Unpacked: report.out("Unpacked: " + run.display_name(i) + " (" + o.text + ")"); break;
    case Outcome::Failed:
      report.err("Error: " + run.display_name(i) + ": " + o.text);
      // With groups the report is a whole account: failures belong in it too.
      if (!run.opt.groups.empty()) report.out(failed_line(o.kind, run.display_name(i), o.text));
      break;
    default: break;
  }
}

std::string total_line(const Run& run, size_t missing, size_t unloadable, size_t unfound) {
  size_t n[13] = {};
  for (const Outcome& o : run.outcomes) {
    switch (o.state) {
      case Outcome::Extracted: ++n[0]; break;
      case Outcome::Kept: ++n[o.identical ? 1 : 2]; break;
      case Outcome::Duplicate: ++n[3]; break;
      case Outcome::Refused: ++n[4]; break;
      case Outcome::Skipped: ++n[5]; break;
      case Outcome::Excluded: ++n[6]; break;
      case Outcome::Failed: ++n[7]; break;
      case Outcome::Unpacked: ++n[8]; break;
      default: break;
    }
  }
  n[9] = run.requests.size();
  n[10] = missing;
  n[11] = unloadable;
  n[12] = unfound;
  const char* what[13] = {"extracted", "identical", "differing", "duplicates", "refused",    "skipped", "excluded",
                          "failed",    "unpacked",  "requests",  "missing",    "unloadable", "unfound"};
  std::string line = "Total:";
  for (int k = 0; k < 13; ++k) line += std::string(k ? "," : "") + " " + std::to_string(n[k]) + " " + what[k];
  return line;
}

int exit_code(const Run& run, bool produced_any) {
  int code = kExitOk;
  bool refused = false, produced = produced_any;
  for (const Outcome& o : run.outcomes) {
    if (o.state == Outcome::Failed && (code == kExitOk || rank(o.code) < rank(code))) code = o.code;
    refused = refused || (o.state == Outcome::Refused && o.counts);
    produced = produced || o.state == Outcome::Extracted || o.state == Outcome::Kept ||
               o.state == Outcome::Duplicate || o.state == Outcome::Tested || o.state == Outcome::Unpacked;
  }
  if (code != kExitOk) return code;
  if (refused) return kExitRefused;
  return produced ? kExitOk : kExitNothingMatched;
}

}  // namespace orvane
