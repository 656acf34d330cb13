// Control and resource IDs of the main window. The window-test driver includes this
// header too, so that it finds every control by the same number.
#pragma once

// The "Remove maps" dialog's controls and the dialog itself: plain numbers, so that the
// resource script that lays the dialog out names them too. Its Cancel button is IDCANCEL.
#define IDD_REMOVE_MAPS 300
#define IDC_REMOVE_LABEL 301
#define IDC_REMOVE_LIST 302
#define IDC_REMOVE_OK 303

#ifndef RC_INVOKED
// Enter and Esc reach a window loop that uses IsDialogMessage as IDOK (1) and
// IDCANCEL (2). The buttons must not carry those IDs, or Enter and Esc would press them.
enum ControlId : int {
  IDC_LABEL1_0 = 100,        // "Map Zip File:"
  IDC_TXTFILENAME = 101,
  IDC_CMDFILE_0 = 102,       // "..." beside the archive box
  IDC_TXTUTDIRECTORY = 103,
  IDC_CMDFILE_1 = 104,       // "..." beside the game-directory box
  IDC_LABEL1_1 = 105,        // "UT Directory:"
  IDC_CMDACTION_0 = 106,     // "&Ok"
  IDC_CMDACTION_1 = 107,     // "&Cancel"
  IDC_IMAGE1 = 108,
};

// Commands of the window's system menu (Alt+Space), where new capabilities start so that the
// window itself keeps its layout. The system keeps the low four bits of such an ID for
// itself, and its own commands start at 0xF000.
enum MenuId : int {
  IDM_CHECK_GAME = 0x0110,   // "Chec&k the game..."
  IDM_REMOVE_MAPS = 0x0120,  // "Remo&ve maps..."
};
#endif

#define ORVANE_WINDOW_CLASS "OrvaneMainWindow"
#define ORVANE_WINDOW_TITLE "Orvane"
