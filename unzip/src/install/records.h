// What the player's install put into the game, one plain-text record per archive in a
// folder of Orvane's own in the game folder, so that any copy of Orvane can take a map back
// out: each file's path relative to the game, size and CRC-32, the player's name for the
// archive and when it went in. A record is read as untrusted input: one that is not ours,
// or that names a path outside the game, is never acted on.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvane {

// The folder of the records, in the game folder. No archive can put a file there: the
// player's install puts every file, by its type, into one of the game's own folders.
extern const char kRecordsFolder[];

// A file as an install left it.
struct Sum {
  uint64_t size = 0;
  uint32_t crc = 0;
  bool operator==(const Sum& o) const { return size == o.size && crc == o.crc; }
  bool operator!=(const Sum& o) const { return !(*this == o); }
};

struct RecordedFile {
  std::string path;  // relative to the game, with the platform's separator
  Sum sum;
};

struct InstallRecord {
  std::string name;  // the player's name for the archive, as the install showed it
  std::string when;  // UTC, "2026-12-09 14:20:31"
  std::vector<std::string> folders;  // made by the install, relative to the game, as the files
  std::vector<RecordedFile> files;
};

// The record's text: a first line that marks it as ours, then one line for each field.
std::string record_text(const InstallRecord& record);

// Why a record's text cannot be used, decided before anything is done with it.
enum class RecordProblem {
  kNone,
  kNotOurs,   // no record of Orvane's: its first line is not ours
  kDamaged,   // ours, but a line cannot be read or a field is missing
  kUnsafe,    // a path outside the game folder, with "..", a device name or a stream
};
// Reads text into record. Any problem leaves the record unusable for removal; a record that
// is ours keeps the files it could read, so that they still count as another's.
RecordProblem read_record(const std::string& text, InstallRecord& record);

// The record's file name for an archive the player knows by `shown` (its file name, and
// ".txt"), so that installing the same archive again finds its record.
std::string record_file_name(const std::string& shown);

// The last component of a path as either system writes it.
std::string file_name_of(const std::string& path);

// A record found in the game's records folder.
struct FoundRecord {
  std::string file;  // its file name in the records folder
  RecordProblem problem = RecordProblem::kNone;
  InstallRecord record;
};
// Every record in the game's records folder, in file-name order; none when there is no
// folder. False when the folder is there but cannot be read.
bool read_records(const std::string& game, std::vector<FoundRecord>& found);

// The size and CRC-32 of a regular file (never a link, a folder or a device); false when
// there is none or it cannot be read.
bool sum_of_file(const std::string& path, Sum& sum);

// One recorded install, for the window's list.
struct RecordSummary {
  std::string name;     // the player's name for the archive, as the install showed it
  std::string archive;  // its file name, as remove_maps (Orvane.BAT /remove) takes it
  std::string when;     // UTC, "2026-12-09 14:20:31"
  size_t files = 0;
};
// The installs recorded in the game folder, newest first; only records Orvane can act on.
std::vector<RecordSummary> list_records(const std::string& game);

// Now, as a record writes it.
std::string record_time_now();

}  // namespace orvane
