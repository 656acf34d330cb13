#include "run/run.h"

#include "base/text.h"
#include "platform/platform.h"

namespace orvane {

void Run::settle(size_t i, Outcome::State s, const std::string& text, bool identical, int code, Failure kind) {
  {
    std::lock_guard<std::mutex> lock(mu);
    outcomes[i].state = s;
    outcomes[i].text = text;
    outcomes[i].identical = identical;
    outcomes[i].code = code;
    outcomes[i].kind = kind;
  }
  ready.notify_all();
}

std::string Run::display_name(size_t i) const {
  const Item& item = items[i];
  const Entry& e = item.entry();
  return without_controls((item.container.empty() ? "" : item.container + " > ") + (e.name.empty() ? e.raw_name : e.name));
}

std::string Run::shown_path(const Job& job) const {
  // A .umod's files are shown by their paths below the umod root, which the
  // script gives as "." (the game folder it runs in).
  if (items[job.item].by_stored_path && (job.dest == "." || job.dest == ".\\" || job.dest == "./")) return job.rel;
  return opt.groups.empty() && !items[job.item].by_stored_path ? job.rel : platform::join(job.dest, job.rel);
}

}  // namespace orvane
