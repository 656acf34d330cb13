// Helpers shared by the tests: an archive writer (so every test builds its
// own archives byte by byte), a scratch folder, and a captured report.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/extract.h"
#include "base/source.h"

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

// An entry of that name and data, deflated.
inline Item file(const std::string& name, const std::string& data) {
  Item it;
  it.name = name;
  it.data = data;
  return it;
}

// An Unreal package, written byte by byte. Names are given as text; the
// builder puts each in the name table once (exact spelling), after `names`.
struct PackageImportSpec {
  std::string class_package, class_name, object_name;
  int32_t outer = 0;  // an object reference: import_ref(i), 0, or export i + 1
};
struct PackageExportSpec {
  int32_t class_ref = 0, super_ref = 0, outer = 0;
  std::string object_name;
  uint32_t flags = 0;
  // The size of its data, and where it lies: -1 puts it after the header, before the
  // names, as the game writes it. With size 0 no offset is written.
  int32_t serial_size = 0;
  int64_t serial_offset = -1;
};
struct PackageSpec {
  uint16_t version = 69, licensee = 0;
  uint32_t flags = 1;
  std::vector<std::string> names;  // first in the name table, in this order
  std::vector<PackageImportSpec> imports;
  std::vector<PackageExportSpec> exports;
  std::string guid = "OrvaneTestGuid!!";  // 16 bytes, from version 68 on
  // Lies: the tag, and header fields written instead of the true ones when >= 0.
  uint32_t tag = 0x9E2A83C1;
  int64_t name_count = -1, name_offset = -1, import_count = -1, import_offset = -1;
  int64_t export_count = -1, export_offset = -1, generation_count = -1;
  size_t endless_index = 0;  // > 0: the name table starts with this many bytes of a compact index that never ends
};
// Header, generations, names, imports, exports, and before version 68 a
// one-GUID heritage table at the end.
std::string build_package(const PackageSpec& spec);
inline int32_t import_ref(size_t i) { return -static_cast<int32_t>(i) - 1; }

// Collects what a reader hands out, refusing past a limit like a full disk.
class StringSink : public Sink {
 public:
  explicit StringSink(size_t limit = SIZE_MAX) : limit_(limit) {}
  bool write(const unsigned char* data, size_t n) override {
    if (data_.size() + n > limit_) {
      error_ = "disk full";
      return false;
    }
    data_.append(reinterpret_cast<const char*>(data), n);
    return true;
  }
  std::string data_;

 private:
  size_t limit_;
};

// One file of a UMOD; the optional fields lie about it.
struct UmodFile {
  std::string name;  // the bytes as stored, a NUL written after them
  std::string data;
  uint32_t flags = 0;
  std::optional<uint32_t> offset{}, length{};  // stated instead of the data's place and size
  std::optional<int64_t> name_length{};       // stated instead of the name's size with its NUL
  bool no_nul = false;                     // the name is written without its NUL
};

struct UmodOptions {
  uint32_t magic = 0x9FE3C5A3;
  uint32_t version = 1;
  std::optional<int64_t> count;            // stated instead of the number of files
  std::string count_bytes;                 // written instead of the count's compact index
  std::optional<uint32_t> dir_offset, total_size, crc;  // stated in the trailer instead of the true ones
  std::string prefix;                      // bytes before the umod, which its offsets do not count
  std::string after_directory;             // bytes between the directory and the trailer
  size_t truncate = 0;                     // bytes cut off the end, as a broken download leaves it
};

// The files' bytes back to back, the directory, then the 20-byte trailer.
std::string build_umod(const std::vector<UmodFile>& files, const UmodOptions& options = UmodOptions());

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
  std::string all_out() const;  // the lines joined by line ends
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
