// Small helpers over window controls.
#pragma once
#include <windows.h>

#include <string>

namespace platform {

std::string GetText(HWND control);
void SetText(HWND control, const std::string& text);

// Modal message box; the answer is not used.
void ShowMessage(HWND owner, const std::string& text, const std::string& title, UINT style);

// Converts twips (1/1440 inch) to pixels at the given dots per inch.
inline int TwipsToPixels(int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); }

}  // namespace platform
