#include "app/install_action.h"

#include <algorithm>

namespace install {

bool IsGameDirectory(const std::string& dir, const FileLookup& isOrdinaryFile) {
  // Plain concatenation: a directory ending in "\" gives a doubled separator, which the
  // file lookup accepts.
  return !dir.empty() && isOrdinaryFile(dir + "\\System\\UnrealTournament.EXE");
}

std::string ArchiveNotFound(const std::string& archive) {
  return "File '" + archive + "' NOT Found";
}

std::vector<std::string> ArchivesInBox(const std::string& text) {
  if (text.empty() || text[0] != '"') return {text};
  std::vector<std::string> archives;
  for (size_t at = 0; at < text.size();) {
    if (text[at] == ' ') {
      ++at;
      continue;
    }
    const bool quoted = text[at] == '"';
    const size_t end = std::min(text.find(quoted ? '"' : ' ', at + quoted), text.size());
    archives.push_back(text.substr(at + quoted, end - at - quoted));
    at = end + quoted;
  }
  return archives;
}

std::string ArchiveBoxText(const std::vector<std::string>& archives) {
  if (archives.size() == 1) return archives[0];
  std::string text;
  for (const std::string& a : archives) text += (text.empty() ? "\"" : " \"") + a + "\"";
  return text;
}

std::string StagedArchive(size_t k) { return k == 0 ? "Map.ZIP" : "Map" + std::to_string(k + 1) + ".ZIP"; }

namespace {

// The game directory as the script's argument: as it stands, or quoted; nothing when it
// cannot reach the script whole.
std::optional<std::string> GameArgument(const std::string& gameDirectory) {
  bool needsQuotes = false;
  for (unsigned char c : gameDirectory) {
    if (c < 0x20 || c == 0x7F || c == '%' || c == '"') return std::nullopt;
    // Separators and specials of the command processor and of batch argument parsing.
    if (std::string(" &()^,;=!'+`~[]{}<>|").find(static_cast<char>(c)) != std::string::npos)
      needsQuotes = true;
  }
  return needsQuotes ? "\"" + gameDirectory + "\"" : gameDirectory;
}

}  // namespace

std::optional<std::string> ScriptCommandLine(const std::string& gameDirectory, size_t archives) {
  std::string more;
  for (size_t k = 1; k < archives; ++k) more += std::string(" ") + kStagingDirectory + StagedArchive(k);
  const std::optional<std::string> game = GameArgument(gameDirectory);
  if (!game) return std::nullopt;
  return "C:\\TempTemp\\Orvane.BAT C:\\TempTemp\\Map.ZIP " + *game + more;
}

std::optional<std::string> CheckCommandLine(const std::string& gameDirectory) {
  const std::optional<std::string> game = GameArgument(gameDirectory);
  if (!game) return std::nullopt;
  return "C:\\TempTemp\\Orvane.BAT /check " + *game;
}

std::optional<std::string> RemoveCommandLine(const std::string& gameDirectory, const std::vector<std::string>& archives) {
  const std::optional<std::string> game = GameArgument(gameDirectory);
  if (!game) return std::nullopt;
  std::string line = "C:\\TempTemp\\Orvane.BAT /remove " + *game;
  for (const std::string& archive : archives) {
    // Always quoted: a name is the player's, and may hold anything a file name may.
    if (!GameArgument(archive)) return std::nullopt;
    line += " \"" + archive + "\"";
  }
  return line;
}

std::optional<std::string> CheckInputs(const std::string& gameDirectory, const std::string& archiveBox,
                                       const FileLookup& isOrdinaryFile) {
  if (!IsGameDirectory(gameDirectory, isOrdinaryFile) || !ScriptCommandLine(gameDirectory))
    return std::string(kInvalidDirectory);
  const std::vector<std::string> archives = ArchivesInBox(archiveBox);
  if (archives.empty() || (archives.size() == 1 && archives[0].empty())) return std::string(kNoArchiveName);
  for (const std::string& archive : archives)
    if (!isOrdinaryFile(archive)) return ArchiveNotFound(archive);
  return std::nullopt;
}

std::vector<Copy> StagingPlan(const std::string& programDirectory, const std::vector<std::string>& archives) {
  std::vector<Copy> plan = {{programDirectory + "\\Pkzip25.exe", "C:\\TempTemp\\Pkzip25.EXE"}};
  if (!archives.empty()) plan.push_back({archives[0], "C:\\TempTemp\\Map.ZIP"});
  plan.push_back({programDirectory + "\\Orvane.BAT", "C:\\TempTemp\\Orvane.BAT"});
  for (size_t k = 1; k < archives.size(); ++k) plan.push_back({archives[k], kStagingDirectory + StagedArchive(k)});
  return plan;
}

std::string NamesFileText(const std::vector<std::string>& pickedArchives) {
  std::string text;
  for (size_t k = 0; k < pickedArchives.size(); ++k) text += StagedArchive(k) + "=" + pickedArchives[k] + "\r\n";
  return text;
}

}  // namespace install
