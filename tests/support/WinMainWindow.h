// The Main window in a test under Wine: stand-in services unless the test points the bundle
// at real ones, a program folder of the test's own, the window made as the program makes it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/Registry.h"
#include "app/win/Unit1.h"
#include "program/ProgramForm.h"
#include "app/win/Convert.h"
#include "program/WinServiceSet.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinPump.h"

namespace mt::test {

class MainWindowTest : public ::testing::Test {
 protected:
  // How far OpenForm takes the window.
  enum class Opening {
    kCreated,   // made and FormCreate run, not on screen
    kOnScreen,  // also on screen without activation, FormShow not run
    kShown,     // shown without activation as the program shows it (FormShow runs)
  };

  // The services the program makes for itself; a test points `ts.services` at those it needs
  // before it opens the window.
  std::unique_ptr<WinServiceSet> real = MakeWinServices();
  TestServices ts;
  std::unique_ptr<TForm1> form;

  void TearDown() override {
    form.reset();
    if (!programFolder_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(std::filesystem::path(Widen(programFolder_)), ec);
    }
  }

  // Settings and backups go to a fresh folder of this test's own, removed after the test.
  void UseOwnProgramFolder(const std::string& name) {
    wchar_t temp[MAX_PATH] = L"";
    ::GetTempPathW(MAX_PATH, temp);
    programFolder_ = Narrow(std::wstring(temp)) + name + " " +
                     std::to_string(::GetCurrentProcessId());
    ::CreateDirectoryW(Widen(programFolder_).c_str(), nullptr);
    ts.services.exeDir = programFolder_;
  }

  // Sets the launch counter of the services' registry where this start does not bring up
  // the partner offer, which would wait for a user.
  void KeepOfferAway() {
    TRegistry product(*ts.services.registry);
    ASSERT_TRUE(product.OpenKey("\\Software\\MRTKBOX", true));
    product.WriteInteger("cs", 0);
  }

  // Makes the Main window on `ts.services` (closing it does not end the test's message loop),
  // takes it as far as `opening` says and makes page `page` (0-based) active when given.
  void OpenForm(Opening opening = Opening::kShown, int page = -1) {
    form = std::make_unique<TForm1>(ts.services, ProgramFormPlan());
    form->quitOnDestroy = false;
    form->Create();
    if (opening == Opening::kOnScreen) ::ShowWindow(form->Handle, SW_SHOWNOACTIVATE);
    if (opening == Opening::kShown) form->Show(SW_SHOWNOACTIVATE);
    if (page >= 0) form->SetActivePage(page);
    Pump();
  }

  // Clicks a control and lets the window handle what the click posted.
  void Click(HWND control) {
    TForm1::Click(control);
    Pump();
  }

  // The rows of a list box, top to bottom.
  static std::vector<std::string> ListBoxRows(HWND list) {
    std::vector<std::string> rows;
    const int n = static_cast<int>(::SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, i, 0);
      std::wstring text(length > 0 ? static_cast<size_t>(length) + 1 : 1, L'\0');
      ::SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()));
      rows.push_back(Narrow(std::wstring(text.c_str())));
    }
    return rows;
  }

 private:
  std::string programFolder_;
};

}  // namespace mt::test
