// The pure rules of the install action: the tests of the two inputs, the staging plan
// and the script's command line. No window and no file is touched here.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace install {

inline constexpr char kStagingDirectory[] = "C:\\TempTemp\\";
inline constexpr char kErrorTitle[] = "Error";
inline constexpr char kInvalidDirectory[] = "Invalid Unreal Tournament Directory";
inline constexpr char kNoArchiveName[] = "Please enter a zip file name";
// C:\TempTemp\ exists, and another account owns it or its rights cannot be set: that account
// could rewrite the install script between the copy and its start.
inline constexpr char kStagingOwnedByOther[] =
    "The folder C:\\TempTemp\\ belongs to another user of this computer, who could change the "
    "install script in it. Nothing was copied.\n\nAsk that user or an administrator to delete "
    "C:\\TempTemp\\, then press Ok again.";
inline constexpr char kStagingUnprotected[] =
    "Orvane cannot set who may change the folder C:\\TempTemp\\, so other users of this computer "
    "could change the install script in it. Nothing was copied.\n\nDelete C:\\TempTemp\\ (or ask "
    "an administrator to), then press Ok again.";

// Whether a path names an existing ordinary file.
using FileLookup = std::function<bool(const std::string&)>;

bool IsGameDirectory(const std::string& dir, const FileLookup& isOrdinaryFile);

// "File '<path>' NOT Found"
std::string ArchiveNotFound(const std::string& archive);

// The archives in the archive box. Several are written as Explorer's dialogs write them,
// each in double quotes, separated by spaces; a text that does not start with a quote is
// one archive as it stands (no Windows file name holds a quote).
std::vector<std::string> ArchivesInBox(const std::string& text);
// The box's text for these archives: one as it stands, several each in quotes.
std::string ArchiveBoxText(const std::vector<std::string>& archives);

// Where archive k (from 0) is staged: Map.ZIP, then Map2.ZIP, Map3.ZIP, ...
std::string StagedArchive(size_t k);

// The script's command line for the game directory and this many archives, or nothing
// when the text cannot reach the script whole: the command processor expands "%" even
// inside quotes, and a quote or a control character would end the argument early.
// A text with no space and no character that the command processor treats specially is
// appended as it stands; any other text is appended as one quoted argument. The staged
// archives after the first follow it.
std::optional<std::string> ScriptCommandLine(const std::string& gameDirectory, size_t archives = 1);

// The message the Ok button must show, or nothing when both inputs pass.
// The game directory is tested first, so only one message is ever shown; then each
// archive in the box, and the first one not found is named.
std::optional<std::string> CheckInputs(const std::string& gameDirectory, const std::string& archiveBox,
                                       const FileLookup& isOrdinaryFile);

// The "Remove maps..." texts: the dialog's title, an empty list, and a name the command line
// cannot carry.
inline constexpr char kRemoveTitle[] = "Remove maps";
inline constexpr char kNothingInstalled[] = "Orvane has installed nothing into this game yet.";
inline constexpr char kNameCannotReachScript[] =
    "The name of an archive you chose holds a character (% or \") that cannot reach the script. "
    "Nothing was removed.";

// The script's command line that takes the chosen archives (by the names their records give)
// back out of the game, each name in quotes; nothing when the game directory or a name cannot
// reach the script whole.
std::optional<std::string> RemoveCommandLine(const std::string& gameDirectory, const std::vector<std::string>& archives);

// The script's command line that checks the whole game in the game directory, or nothing
// when the text cannot reach the script whole (as above).
std::optional<std::string> CheckCommandLine(const std::string& gameDirectory);

struct Copy {
  std::string from;
  std::string to;
};

// The copies into the staging folder, in the order they are made: the unzip program, the
// first archive and the script, then the further archives. With no archive (the check of
// the game): the unzip program and the script.
std::vector<Copy> StagingPlan(const std::string& programDirectory, const std::vector<std::string>& archives);

// Written beside the staged archives after the copies: a line "STAGED=PICKED" for each, so
// that the script shows the player each archive by the path they know it by. Only shown,
// never used to reach a file, so a name the command line could not carry is safe here.
inline constexpr char kNamesFile[] = "C:\\TempTemp\\Names.txt";
std::string NamesFileText(const std::vector<std::string>& pickedArchives);

}  // namespace install
