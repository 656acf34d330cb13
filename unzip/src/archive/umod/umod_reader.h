// Reads a UMOD, the game's own installer format: the files' bytes stored
// back to back, a directory of names, offsets, lengths and flags, and a
// 20-byte trailer at the very end. Works on any Source, so it holds no
// file-system code; the extractor applies its name rules to what it lists.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "archive/archive_reader.h"

namespace orvane {

// A umod's offer: its trailer's magic in the last 20 bytes, an exact place where a ZIP's end
// record is searched for (and a umod may hold a zip among its files).
Bid umod_bid(Source& src);

// Opens a umod; the reader owns src. nullptr and a plain-words reason on failure.
// Refused: a trailer whose size is not the file's, a directory that does not run
// up to the trailer, a directory or file range outside the data, overlapping
// files, malformed counts and names. The trailer's CRC is never checked (which
// bytes it covers is not known).
std::unique_ptr<ArchiveReader> open_umod(std::unique_ptr<Source> src, std::string& err, Failure* kind = nullptr);

// True for the installer's own files (Manifest.ini, Manifest.int), which are never copied.
bool is_umod_manifest(const Entry& e);

// What a Manifest.ini asks beyond copying files, one line each in plain words for the player,
// e.g. "adds to UnrealTournament.ini: [Engine.GameEngine] ServerPackages=Foo",
// "requires UnrealTournament version 436", "deletes System\Old.u". The player's ini files are
// never changed by Orvane; the summary lists these so the player can do them by hand.
// At most 50 lines, then one saying how many more there were. Only the first
// MiB is read (a real manifest holds a few kilobytes); the text is Windows-1252,
// or UTF-8 after a byte-order mark.
std::vector<std::string> manifest_requests(const std::string& manifest_ini);

}  // namespace orvane
