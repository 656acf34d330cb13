#include "install/plan.h"

#include <map>

#include "base/names.h"
#include "platform/platform.h"

namespace orvane {

namespace {

// Far deeper than any real pack; refusing deeper paths keeps an entry 30,000
// folders deep from costing minutes of folder creation.
const size_t kMaxDepth = 64;

size_t folder_depth(const std::string& name, bool directory) {
  std::vector<std::string> parts = split_path(name);
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  return directory ? parts.size() : parts.size() - 1;
}

const Group* select(const Options& opt, const Group& single, const std::string& name, bool& excluded) {
  for (const std::string& p : opt.excludes)
    if (pattern_matches(p, name)) return excluded = true, nullptr;
  for (const Group& g : opt.groups)
    for (const std::string& p : g.patterns)
      if (pattern_matches(p, name)) return &g;
  if (!opt.groups.empty()) return nullptr;
  bool selected = opt.patterns.empty();
  for (const std::string& p : opt.patterns) selected = selected || pattern_matches(p, name);
  return selected ? &single : nullptr;
}

}  // namespace

std::string without_dot_folders(const std::string& name) {
  size_t at = 0;
  while (name.size() >= at + 2 && name[at] == '.' && (name[at + 1] == '/' || name[at + 1] == '\\')) at += 2;
  return name.substr(at);
}

Plan make_plan(Run& run) {
  const Options& opt = run.opt;
  const Group single{std::vector<std::string>(), opt.dest}, umod_root{std::vector<std::string>(), opt.umod_root};
  const bool grouped = !opt.groups.empty();
  Plan plan;
  std::map<std::string, size_t> group_of;
  for (size_t i = 0; i < run.items.size(); ++i) {
    const Item& item = run.items[i];
    const Entry& e = item.entry();
    Outcome& out = run.outcomes[i];
    if (out.state != Outcome::Pending) continue;  // settled before (an unpacked .umod, its manifest)
    const std::string name = without_dot_folders(e.name);
    // A .umod's files go by their stored paths below the umod root; with groups they
    // are taken by the groups, as every other entry is, so a umod cannot put a file of a
    // kind or in a folder the groups do not allow. Their whole stored path must be safe.
    const bool stored = item.by_stored_path && !grouped;
    const bool folders = stored || (opt.directories && !item.by_stored_path);
    bool excluded = false;
    const Group* group = stored ? &umod_root : select(opt, single, e.name.empty() ? e.raw_name : name, excluded);
    // "./" alone is the archive's root folder: nothing to make.
    if (e.directory && (!folders || (name.empty() && e.name_error.empty()))) {
      out.state = Outcome::Silent;
      continue;
    }
    // Flattened, only the file's own name is made, so only it must be safe.
    std::string why = !e.name_error.empty()                 ? e.name_error
                      : folders || item.by_stored_path ? check_entry_name(name)
                                                       : check_entry_name(split_path(name).back());
    // Such a file would be made under its folder's name (Maps\ as a file Maps).
    if (why.empty() && !e.directory && (name.back() == '/' || name.back() == '\\'))
      why = "a file whose name ends in a folder separator, as only a folder's may";
    if (why.empty() && e.link) why = "a link; links are never created";
    // Folders are only made by stored paths; flattened, depth costs nothing.
    if (why.empty() && folders && folder_depth(name, e.directory) > kMaxDepth)
      why = "deeper than " + std::to_string(kMaxDepth) + " folders";
    if (!group) {
      // With groups every item is accounted for: what no group takes is
      // listed, and an unsafe name is told as such though it was never going in.
      out.state = !grouped || e.directory ? Outcome::Silent
                  : excluded              ? Outcome::Excluded
                  : why.empty()           ? Outcome::Skipped
                                          : Outcome::Refused;
      out.text = why;
      out.counts = false;
      continue;
    }
    plan.matched = true;
    if (!why.empty()) {
      run.settle(i, Outcome::Refused, why);
      continue;
    }
    if (!e.unsupported.empty()) {
      run.fail(i, e.unsupported_kind, e.unsupported);
      continue;
    }
    std::vector<std::string> parts = split_path(name);
    if (parts.back().empty()) parts.pop_back();
    std::string rel;
    if (folders) {
      for (const std::string& p : parts) rel += (rel.empty() ? "" : std::string(1, platform::kSeparator)) + p;
    } else {
      rel = parts.back();
    }
    Job job{i, group->dest, rel, e.directory};
    auto found = group_of.emplace(fold_case(platform::join(job.dest, rel)), plan.groups.size());
    if (found.second) {
      plan.groups.emplace_back();
    } else if (!opt.overwrite_all && !opt.test && !e.directory && !plan.groups[found.first->second][0].directory) {
      // The first in item order wins, whatever the destination already holds.
      run.settle(i, Outcome::Duplicate, run.shown_path(job));
      continue;
    }
    plan.groups[found.first->second].push_back(job);
  }
  return plan;
}

}  // namespace orvane
