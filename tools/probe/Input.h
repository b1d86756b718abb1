// Input as a user gives it: the system's input queue (SendInput), so the target sees real
// mouse and keyboard messages in the window under the pointer or with the focus.
#pragma once

#include <windows.h>

#include <string>

namespace probe {

// Brings the top-level window that holds `window` to the foreground. True when it is.
bool BringToFront(HWND window);

// Moves the pointer to `screen` and clicks the left button there. Throws when the point is
// not over `window` (or one of its children), so that a covered control is never missed
// silently.
void ClickWindowAt(HWND window, POINT screen);

// Types `text` (UTF-8) into whatever window has the keyboard focus.
void TypeText(const std::string& text);

// Presses one key with its modifiers, given as "ENTER", "TAB", "SHIFT+TAB", "ALT+F4",
// "CTRL+A", "SPACE", "F5", "DOWN", a single letter or digit, ... Throws on an unknown name.
void PressKeys(const std::string& chord);

}  // namespace probe
