// One run of the program: reads the command line, picks the matching entries,
// checks them and extracts them, reporting each file as it goes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

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

// Measures the volume of an existing folder (platform::volume_of). Tests put
// small or shared volumes here, since full disks cannot be arranged on
// demand; nullptr restores the platform's own measure.
using VolumeProbe = bool (*)(const std::string& dir, platform::Volume& v);
void set_volume_probe(VolumeProbe probe);

// args excludes the program name. Returns the exit code (see cli.h).
int run(const std::vector<std::string>& args, Report& report);

}  // namespace orvane
