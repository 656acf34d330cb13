#include "app/install_action.h"

namespace install {

bool IsGameDirectory(const std::string& dir, const FileLookup& isOrdinaryFile) {
  // Plain concatenation: a directory ending in "\" gives a doubled separator, which the
  // file lookup accepts.
  return !dir.empty() && isOrdinaryFile(dir + "\\System\\UnrealTournament.EXE");
}

std::string ArchiveNotFound(const std::string& archive) {
  return "File '" + archive + "' NOT Found";
}

std::optional<std::string> ScriptCommandLine(const std::string& gameDirectory) {
  const std::string prefix = "C:\\TempTemp\\Orvane.BAT C:\\TempTemp\\Map.ZIP ";
  bool needsQuotes = false;
  for (unsigned char c : gameDirectory) {
    if (c < 0x20 || c == 0x7F || c == '%' || c == '"') return std::nullopt;
    // Separators and specials of the command processor and of batch argument parsing.
    if (std::string(" &()^,;=!'+`~[]{}<>|").find(static_cast<char>(c)) != std::string::npos)
      needsQuotes = true;
  }
  if (!needsQuotes) return prefix + gameDirectory;
  return prefix + "\"" + gameDirectory + "\"";
}

std::optional<std::string> CheckInputs(const std::string& gameDirectory, const std::string& archive,
                                       const FileLookup& isOrdinaryFile) {
  if (!IsGameDirectory(gameDirectory, isOrdinaryFile) || !ScriptCommandLine(gameDirectory))
    return std::string(kInvalidDirectory);
  if (archive.empty()) return std::string(kNoArchiveName);
  if (!isOrdinaryFile(archive)) return ArchiveNotFound(archive);
  return std::nullopt;
}

std::vector<Copy> StagingPlan(const std::string& programDirectory, const std::string& archive) {
  return {
      {programDirectory + "\\Pkzip25.exe", "C:\\TempTemp\\Pkzip25.EXE"},
      {archive, "C:\\TempTemp\\Map.ZIP"},
      {programDirectory + "\\Orvane.BAT", "C:\\TempTemp\\Orvane.BAT"},
  };
}

std::string NamesFileText(const std::vector<std::string>& pickedArchives) {
  std::string text;
  for (const std::string& picked : pickedArchives) text += "Map.ZIP=" + picked + "\r\n";
  return text;
}

}  // namespace install
