// Reading other processes' windows and controls, as an accessibility tool does.
#pragma once

#include <windows.h>

#include <string>

#include "tools/probe/Json.h"

namespace probe {

// "0x1a2b" (the form the probe prints) or a decimal number.
HWND ParseHandle(const std::string& text);
std::string HandleText(HWND window);

// The window's text as WM_GETTEXT gives it (edit and combo boxes answer with their content);
// the stored caption when the owner does not answer within two seconds.
std::string WindowText(HWND window);
std::string ClassOf(HWND window);

// hwnd, class, text, style, exstyle, id, rect (screen), visible, enabled, pid, owner.
Json Describe(HWND window);
// Describe() with "children": the whole tree below the window, in z-order.
Json Tree(HWND window);

// Rows of a list box or a combo box, with the selected index (-1: none); a combo box also
// gives its edit text.
Json ListBoxRows(HWND listBox);
Json ComboBoxRows(HWND comboBox);
// Columns (caption, width) and rows of a report-style list view: the texts of every
// column, the check state, the image index and whether the row is selected.
Json ListViewRows(HWND listView);
// Ticks or clears the check box of a list-view row.
void SetListViewCheck(HWND listView, int row, bool checked);
// Tab captions and the selected tab.
Json TabCaptions(HWND tabControl);
// The centre of a tab, in screen coordinates.
POINT TabCentre(HWND tabControl, int index);

}  // namespace probe
