// The update reminder window: a small always-on-top window that rises from the lower edge of
// the work area and offers the new release for download.
#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "app/win/Handles.h"
#include "app/win/Window.h"
#include "update/InstallerTrust.h"
#include "update/Uhzbdown.h"
#include "update/UpdateRecord.h"

namespace mt {

class TForm1;

class TFsjtx : public Window, public DownloadTarget {
 public:
  explicit TFsjtx(TForm1& main);
  ~TFsjtx() override;

  // Creates the window hidden, with Timer1 running.
  void Create();
  // The eight labels from the record, decoded from the page's GBK and trimmed.
  void Fill(const UpdateRecord& record);
  // Runs FormShow, then shows the window.
  void Show();

  TForm1& Main;
  HWND RzPanel1 = nullptr, RzPanel2 = nullptr, RzPanel3 = nullptr, RzPanel4 = nullptr;
  HWND Image1 = nullptr, Image2 = nullptr, Image3 = nullptr;
  HWND Label10 = nullptr, Label3 = nullptr, Lab_bb = nullptr, Label5 = nullptr, Lab_dx = nullptr;
  HWND Label6 = nullptr, Lab_sjsj = nullptr, lab_nr = nullptr;
  HWND Label1 = nullptr, Lab_bh = nullptr, Label2 = nullptr, Lab_mc = nullptr, Label4 = nullptr,
       Lab_ms = nullptr, Label7 = nullptr, Lab_xt = nullptr, Label9 = nullptr;
  HWND CheckBox1 = nullptr, Button1 = nullptr, Button2 = nullptr, Button3 = nullptr;
  bool Timer1Enabled() const { return timer1_; }

  void FormShow();
  void Timer1Timer();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  // The close handler; the window hides only when it returns normally.
  void FormClose();

  // ---- requests of the download thread, carried out on the UI thread -------------------
  void SetButton2Caption(const std::string& caption) override;
  void EnableButton2() override;
  void SetInstallerPath(const std::string& path) override;
  void HoldInstaller(VerifiedInstaller installer) override;
  void SetDownloadFinished() override;
  void CloseWindow() override;

  void ShowErrorReport(const std::string& message) override;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void OnEscape() override;

 private:
  void SetTimer1(bool enabled);
  void WorkArea(int& width, int& height) const;

  bool timer1_ = false;
};

// Process-wide state of this window's module.
extern TFsjtx* Fsjtx;
extern std::string InstallerPath;
extern bool DownloadFinished;
// The installer that passed the signature check, its file held open until it is started.
extern std::optional<VerifiedInstaller> HeldInstaller;

// The Reminder decision's last step: create (once) the window, fill it and show it.
void OpenReminderWindow(TForm1& main, const UpdateRecord& record);
// Destroys the window and resets the module's state (for a Main window that goes away
// while the process stays, as in tests).
void DestroyReminderWindow();

}  // namespace mt
