#include "install/space.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <map>

#include "platform/platform.h"

namespace orvane {

namespace {

std::atomic<VolumeProbe> volume_probe{nullptr};

uint64_t add_capped(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// The deepest folder of path that exists, for measuring its volume before
// anything (even the destination itself) is created.
std::string existing_folder(std::string path) {
  while (!path.empty() && platform::kind_of(path) != platform::Kind::Directory) {
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    size_t cut = path.find_last_of("/\\");
    path = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  }
  return path.empty() ? "." : path;
}

std::string size_text(uint64_t bytes) {
  char mb[32];
  std::snprintf(mb, sizeof mb, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return std::string(mb) + " (" + std::to_string(bytes) + " bytes)";
}

// The sizes of the files the run will write, per destination: under "never"
// the first item of each output file that does not exist yet; under "all"
// the largest item of each, since every replacement is written in full
// beside the old file first.
std::map<std::string, std::vector<uint64_t>> sizes_to_write(const Run& run, const Plan& plan) {
  std::map<std::string, std::vector<uint64_t>> sizes;
  for (const std::vector<Job>& g : plan.groups) {
    uint64_t most = 0;
    for (const Job& job : g) {
      if (job.directory) continue;
      uint64_t size = run.items[job.item].entry().size;
      if (!run.opt.overwrite_all) {
        if (platform::kind_of(platform::join(job.dest, job.rel)) == platform::Kind::Missing) most = size;
        break;
      }
      most = std::max(most, size);
    }
    if (!g.empty() && most > 0) sizes[g[0].dest].push_back(most);
  }
  return sizes;
}

}  // namespace

void set_volume_probe(VolumeProbe probe) { volume_probe = probe; }

std::string room_in(const std::string& folder, uint64_t bytes) {
  VolumeProbe probe = volume_probe.load();
  platform::Volume v;
  if (!(probe ? probe : platform::volume_of)(existing_folder(folder), v) || bytes <= v.free) return std::string();
  return "it needs " + size_text(bytes) + ", the disk has " + size_text(v.free) + " free";
}

bool enough_room(const Run& run, const Plan& plan, Report& report) {
  if (run.opt.test) return true;
  // Destinations on one volume add up, and each file takes whole allocation
  // units of its volume.
  struct Need {
    platform::Volume volume;
    uint64_t bytes = 0;
    std::string where;
  };
  std::map<std::string, Need> needs;  // by volume
  VolumeProbe probe = volume_probe.load();
  for (const auto& d : sizes_to_write(run, plan)) {
    platform::Volume v;
    if (!(probe ? probe : platform::volume_of)(existing_folder(d.first), v)) continue;
    Need& n = needs[v.id];
    // The same volume measured from two folders (Wine maps a folder on another
    // Linux disk into one drive): the smaller figure is the safe one.
    if (n.where.empty()) n.volume = v;
    n.volume.free = std::min(n.volume.free, v.free);
    const uint64_t unit = std::max<uint64_t>(v.cluster, 1);
    for (uint64_t size : d.second) {
      uint64_t units = size / unit + (size % unit != 0);
      n.bytes = add_capped(n.bytes, units > UINT64_MAX / unit ? UINT64_MAX : units * unit);
    }
    n.where += (n.where.empty() ? "" : ", ") + (d.first.empty() ? std::string(".") : d.first);
  }
  for (const auto& v : needs) {
    if (v.second.bytes <= v.second.volume.free) continue;
    report.err("Error: " + v.second.where + ": not enough free space: the files need " + size_text(v.second.bytes) +
               ", the disk has " + size_text(v.second.volume.free) + " free; nothing was extracted");
    return false;
  }
  return true;
}

}  // namespace orvane
