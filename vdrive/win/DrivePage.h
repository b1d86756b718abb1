// The "虚拟硬盘" page of the Main window: map a folder to a drive letter with subst and keep
// the mapping in the machine Run key.
#pragma once

#include <windows.h>

#include "app/win/TabPage.h"
#include "vdrive/VirtualDrives.h"

namespace mt {

class DrivePage : public TabPage {
 public:
  static constexpr int kTab = 1;
  DrivePage(TForm1& form, HWND sheet);

  void Shown() override { TabSheet2Show(); }

  void TabSheet2Show();
  void selectfilebtnClick();
  void allstartbtnClick();
  void alldelbtnClick();
  // The list refresh: ListBox5 rebuilt from the Run key.
  void Action1Execute();

  // Group "虚拟硬盘": the folder, its browse button, the drive letter ("转成分区：" is Label1),
  // create and remove, the mappings made so far and the decorative picture.
  HWND GroupBox3 = nullptr, Label9 = nullptr, fileedit = nullptr, selectfilebtn = nullptr,
       Label1 = nullptr, drivecombox = nullptr, allstartbtn = nullptr, alldelbtn = nullptr,
       Label6 = nullptr, ListBox5 = nullptr, Panel5 = nullptr, Image1 = nullptr;

 private:
  // What the mapping logic needs of the services and the window.
  VdriveContext Context();

  Services& svc_;
};

}  // namespace mt
