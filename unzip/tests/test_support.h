// Helpers shared by the tests: an archive writer (so every test builds its
// own archives byte by byte), a scratch folder, and a captured report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "extract.h"

namespace orvane {
namespace test {

struct Item {
  std::string name;
  std::string data;
  uint16_t method = 8;        // 0 stored, 8 deflated, anything else written as stored bytes
  uint16_t flags = 0;         // general-purpose flags; bit 3 (descriptor) is set by `descriptor`
  bool descriptor = false;    // sizes and CRC after the data, zero in the local header
  bool zip64 = false;         // sizes and offset in the ZIP64 extra field
  uint16_t made_by = 0x0014;  // MS-DOS host
  uint32_t external_attr = 0;
  uint16_t dos_time = 0x6000, dos_date = 0x5A21;  // 2025-01-01 12:00:00
  std::string central_extra;
  std::string local_extra;    // extra fields of the local header (ZIP64 aside)
  bool bad_crc = false;       // store a CRC that does not match the data
  int64_t size_delta = 0;     // added to the declared uncompressed size
  bool central_only = false;  // no local header or data; the record points at central_offset
  int64_t central_offset = -1;  // written instead of the entry's own offset when >= 0
};

struct Layout {
  std::string comment;
  bool zip64_end = false;  // write the ZIP64 end record and locator
  std::string prefix;      // bytes before the archive (a self-extractor stub)
};

std::string build_zip(const std::vector<Item>& items, const Layout& layout = Layout());

// An archive of tests/data (see its README), embedded at build time; empty when unknown.
std::string test_archive(const std::string& name);

// Raw deflate of data, as stored in a ZIP entry.
std::string deflate_raw(const std::string& data);

std::filesystem::path u8(const std::string& utf8);

// A fresh empty folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  std::string str() const;  // UTF-8, with the platform's separator
  std::string sub(const std::string& rel) const;  // str() + separator + rel

 private:
  std::filesystem::path path_;
};

void write_file(const std::filesystem::path& p, const std::string& bytes);
std::string read_file(const std::filesystem::path& p);
// Every file and folder below root, as '/'-separated UTF-8 paths, sorted.
std::vector<std::string> list_tree(const std::filesystem::path& root);

class CaptureReport : public Report {
 public:
  void out(const std::string& line) override { out_lines.push_back(line); }
  void err(const std::string& line) override { err_lines.push_back(line); }
  std::vector<std::string> out_lines, err_lines;
  std::string all_err() const;
};

// Runs the program in-process with these arguments.
int run_args(const std::vector<std::string>& args, CaptureReport& report);

// The platform's separator as a string, for expected output paths.
std::string sep();

}  // namespace test
}  // namespace orvane

namespace orvane {
namespace test {
// Modification time of a file in seconds since 1970 (UTC), -1 if unknown.
int64_t mtime_of(const std::filesystem::path& p);
// Marks a file read-only the way the platform does it.
void make_read_only(const std::filesystem::path& p);
// A temporary file's name as the program makes it, for a process id.
std::string temp_name(uint64_t pid);
// A running process (natively not this one), and an id no process has.
uint64_t other_live_pid();
uint64_t dead_pid();
}  // namespace test
}  // namespace orvane
