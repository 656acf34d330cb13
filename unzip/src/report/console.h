// The player's console: the catalogue's texts, each line fitted to an 80-column console.
#pragma once

#include <string>
#include <vector>

#include "report/catalogue.h"
#include "report/report.h"

namespace orvane {

class Console {
 public:
  // 79 columns: a line of 80 would leave an empty one after it.
  static constexpr size_t kWidth = 79;

  explicit Console(Report& to) : to_(to) {}
  // id's text; a line that a name made too long is broken at spaces.
  void say(Say id, const std::vector<std::string>& args = {});
  void line(const std::string& l) { to_.out(l); }
  void lines(const std::vector<std::string>& ls) {
    for (const std::string& l : ls) to_.out(l);
  }
  // "LABEL "NAME"" when it fits a line, else the name on a line of its own; the label
  // takes label_columns with its colon.
  void named(Say beside, Say alone, const std::string& name, size_t label_columns = 12);

 private:
  Report& to_;
};

}  // namespace orvane
