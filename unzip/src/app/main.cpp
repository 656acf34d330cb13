// Pkzip25: Orvane's own extractor for map archives. See README.md.
#include "app/extract.h"
#include "platform/platform.h"

namespace {

class ConsoleReport : public orvane::Report {
 public:
  void out(const std::string& line) override { orvane::platform::print_out(line); }
  void err(const std::string& line) override { orvane::platform::print_err(line); }
};

}  // namespace

int main(int argc, char** argv) {
  ConsoleReport report;
  return orvane::run(orvane::platform::arguments(argc, argv), report);
}
