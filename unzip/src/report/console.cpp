#include "report/console.h"

#include <algorithm>

#include "report/lines.h"

namespace orvane {

void Console::say(Say id, const std::vector<std::string>& args) {
  for (const std::string& l : orvane::say(id, args)) {
    if (columns(l) <= kWidth) {
      to_.out(l);
      continue;
    }
    const size_t lead = std::min(l.find_first_not_of(' '), l.size());
    for (const std::string& part : wrap(l.substr(0, lead), l.substr(lead), kWidth)) to_.out(part);
  }
}

void Console::named(Say beside, Say alone, const std::string& name, size_t label_columns) {
  // The label, a space and the two quotes.
  say(label_columns + 3 + columns(name) <= kWidth ? beside : alone, {name});
}

}  // namespace orvane
