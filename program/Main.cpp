// Program entry: the real services, the Main window, the message loop.
#include <windows.h>
#include <ole2.h>

#include "program/WinServiceSet.h"
#include "program/ProgramForm.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int cmdShow) {
  int rc = 0;
  bool ole = false;
  try {
    std::unique_ptr<mt::WinServiceSet> services = mt::MakeWinServices();
    mt::TForm1 form(services->services, mt::ProgramFormPlan());
    form.Create();
    form.Show(cmdShow);
    // The folder dialog and the embedded browser need OLE on the UI thread. Only handlers
    // that the message loop runs use them, so OLE starts once the window is on screen (under
    // Wine that brings the window up about 17 ms sooner).
    ole = SUCCEEDED(OleInitialize(nullptr));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) mt::DispatchUiMessage(msg);
    rc = static_cast<int>(msg.wParam);
  } catch (const std::exception& e) {
    MessageBoxW(nullptr, mt::Widen(e.what()).c_str(), L"Mirtak小工具合集", MB_OK | MB_ICONERROR);
    rc = 1;
  }
  if (ole) OleUninitialize();
  return rc;
}
