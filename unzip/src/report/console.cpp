#include "report/console.h"

#include "report/lines.h"

namespace orvane {

void Console::say(Say id, const std::vector<std::string>& args) {
  for (const std::string& l : orvane::say(id, args))
    for (const std::string& part : columns(l) <= kWidth ? std::vector<std::string>{l} : wrap("", l, kWidth))
      to_.out(part);
}

void Console::named(Say beside, Say alone, const std::string& name, size_t label_columns) {
  // The label, a space and the two quotes.
  say(label_columns + 3 + columns(name) <= kWidth ? beside : alone, {name});
}

}  // namespace orvane
