// One tab of the Main window as a page of its own: it creates, lays out and handles the
// controls on its sheet and keeps whatever state the tab needs. The Main window makes a page
// the first time its tab is about to be shown, so a tab the user never opens costs nothing.
#pragma once

#include <windows.h>
#include <shellapi.h>

namespace mt {

class TForm1;

class TabPage {
 public:
  // The page's controls go onto `sheet`, a panel of `form`'s tab control.
  TabPage(TForm1& form, HWND sheet) : form(form), sheet(sheet) {}
  virtual ~TabPage() = default;
  TabPage(const TabPage&) = delete;
  TabPage& operator=(const TabPage&) = delete;

  // The tab became visible (every time it is selected): the page's show handler.
  virtual void Shown() {}
  // WM_CLOSE of the window: false keeps the window open (work is running and the user keeps
  // it, or it is stopping).
  virtual bool MayClose() { return true; }
  // WM_DESTROY of the window: the page stops its work and waits for its threads; its
  // controls are still there.
  virtual void Shutdown() {}
  // The window moved to another DPI: its controls have their new size and font already; the
  // page sizes what is measured in pixels of its own (a list's columns).
  virtual void DpiChanged() {}
  // Files dropped on the sheet (WM_DROPFILES); the page finishes the drop.
  virtual void DropFiles(HDROP drop) { ::DragFinish(drop); }

 protected:
  TForm1& form;
  HWND sheet;
};

}  // namespace mt
