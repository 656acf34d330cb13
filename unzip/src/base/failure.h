// Why something failed, as a kind that every part of the program hands on
// unchanged, from the reader that finds it to the report and the player's summary.
#pragma once

namespace orvane {

enum class Failure {
  Damaged,     // the data is not what the archive says (CRC, truncation, bad headers)
  NotArchive,  // no format Pkzip25 reads
  Password,    // encrypted
  Volume,      // one part of a multi-part archive
  Method,      // packed in a way Pkzip25 cannot unpack
  Special,     // not a file: a device, a pipe
  Bomb,        // made to fill the disk
  TwoFormats,  // reads as two formats at once
  Update,      // an update archive: only the changes to another one, with files to delete
  InTheWay,    // a folder where a file goes
  TooLong,     // a path Windows cannot hold here, which a shorter game folder could
  NameTooLong, // a path Windows cannot hold below any game folder
  Unwritable,  // the destination refuses a file or folder
  NoRoom,      // not enough free space
};

// The fixed word the report prints for a kind: "Failed: password: Maps\X.unr (...)".
inline const char* token(Failure f) {
  switch (f) {
    case Failure::Damaged: return "damaged";
    case Failure::NotArchive: return "not-archive";
    case Failure::Password: return "password";
    case Failure::Volume: return "volume";
    case Failure::Method: return "method";
    case Failure::Special: return "special";
    case Failure::Bomb: return "bomb";
    case Failure::TwoFormats: return "two-formats";
    case Failure::Update: return "update";
    case Failure::InTheWay: return "in-the-way";
    case Failure::TooLong: return "too-long";
    case Failure::NameTooLong: return "name-too-long";
    case Failure::Unwritable: return "unwritable";
    case Failure::NoRoom: return "no-room";
  }
  return "damaged";
}

}  // namespace orvane
