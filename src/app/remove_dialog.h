// The "Remove maps" dialog: the archives Orvane installed into a game, newest first, of
// which the player picks one or more, by mouse or by keyboard.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace removal {

struct Listed {
  std::string text;     // what the list shows: the name, when, how many files
  std::string archive;  // what the script is given to name it
};

// Shows the dialog over owner; the archives chosen, or none when the player cancelled.
std::vector<std::string> ChooseMaps(HINSTANCE instance, HWND owner, const std::vector<Listed>& listed);

}  // namespace removal
