// frmMain: the program's only window, its controls, its start and close, and its actions.
#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/common_dialog.h"
#include "win/handles.h"

class frmMain {
 public:
  // Creates the window hidden, runs the load event, puts the archive named on the command
  // line (if any) into the archive box, shows the window and runs the message loop until
  // the window is gone. Returns the process exit code.
  static int Run(HINSTANCE instance, int showCommand, const std::string& archiveArgument);

  // The file chooser: the (first) chosen file's path, or empty; Dialog.Selection holds every
  // chosen file. Moves Dialog.InitDir to the chosen files' folder after a pick.
  std::string OpenFile(platform::CommonDialog& Dialog, const std::string& FilterStr, bool Saving);
  // The folder browser: the chosen folder's file-system path, or empty.
  std::string BrowseForFolder(HWND hWndOwner, const std::string& sPrompt);

 private:
  explicit frmMain(HINSTANCE instance);
  frmMain(const frmMain&) = delete;
  frmMain& operator=(const frmMain&) = delete;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  void ShowCentred(int showCommand);

  void Form_Load();
  void Form_QueryUnload();
  void cmdAction_Click(int Index);
  void cmdFile_Click(int Index);
  // The system menu's own commands: new capabilities start there, so the window keeps its layout.
  void AddSystemMenuItems();
  // Checks the whole game in the "UT Directory" box: stages the unzip program and the
  // script, starts the check, and closes, as Ok does for an install.
  void mnuCheckGame_Click();
  // Lists what Orvane installed into the game in the "UT Directory" box; the archives the
  // player chooses are taken back out by the script, started as for an install.
  void mnuRemoveMaps_Click();
  // The game folder as Ok tests it: true, or false after the same message.
  bool GameDirectoryPasses(const std::string& gameDirectory);
  void Form_DragDrop(HDROP drop);
  // The focus leaves with the window's activation and comes back with it, as in a dialog.
  void Form_Activate(bool active);
  // Stages the three files (with no archive, the two programs), each one only where its
  // owner, SYSTEM and Administrators may write.
  // Returns the message to show instead when C:\TempTemp\ cannot be kept so; nothing is
  // copied then.
  std::optional<std::string> StageFiles(const std::vector<std::string>& archives);
  void LoadSettings();
  void SaveSettings();

  // Every close, from code, the user or the system: SaveSettings once, then destroy.
  void CloseWindow();
  // A failure that nothing handled: report it, then end without the close processing.
  void EndWithReport(const std::string& report);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND txtFileName_ = nullptr;
  HWND txtUTDirectory_ = nullptr;
  platform::CommonDialog Dialog;
  win::unique_font font_;
  win::unique_bitmap picture_;
  std::string archiveArgument_;
  HWND savedFocus_ = nullptr;
  bool closing_ = false;
  int exitCode_ = 0;
};
