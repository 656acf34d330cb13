// Telling a run: the line for each item, the counts line,
// and the exit code that the outcomes call for.
#pragma once

#include <string>

#include "run/run.h"
#include "unreal/unreal_game.h"

namespace orvane {

// Where the report lines go (standard output and error in the program,
// captured text in tests). Called from one thread only.
class Report {
 public:
  virtual ~Report() = default;
  virtual void out(const std::string& line) = 0;
  virtual void err(const std::string& line) = 0;
  // -progress lines, for the person waiting; beside the errors by default.
  virtual void progress(const std::string& line) { err(line); }
};

// Standard error's lines, for the player's console: wrapped to width columns.
class WrappedReport : public Report {
 public:
  WrappedReport(Report& to, size_t width) : to_(to), width_(width) {}
  void out(const std::string& line) override { to_.out(line); }
  void err(const std::string& line) override;
  void progress(const std::string& line) override;

 private:
  Report& to_;
  size_t width_;
};

// "Failed: KIND: NAME (REASON)": the kind first, as a fixed token, so that a
// script never has to search the name or the reason.
std::string failed_line(Failure kind, const std::string& name, const std::string& why);

// The report line(s) for item i, once its outcome is known.
void print_outcome(const Run& run, size_t i, Report& report);

// "Total: N extracted, N identical, ...", first with groups, so that a reader
// need not count lines; missing, unloadable and unfound come from the package check.
std::string total_line(const Run& run, size_t missing, size_t unloadable, size_t unfound);

// What a line adds after the name of a duplicate, a missing package and an object not
// found: " (...)", the same in the report and in the player's summary.
std::string duplicate_detail();
std::string missing_detail(const PackageCheck::Missing& m);
std::string unfound_detail(const PackageCheck::Unfound& u);

// The exit code the outcomes call for. produced_any: something was made
// (a folder counts) although no file line says so.
int exit_code(const Run& run, bool produced_any);

}  // namespace orvane
