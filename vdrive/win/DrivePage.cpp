// The "虚拟硬盘" page: its controls, its picture and its handlers.
#include "vdrive/win/DrivePage.h"

#include "app/AdminRights.h"
#include "app/Backup.h"
#include "app/win/Unit1.h"
#include "app/win/RestoreWindow.h"
#include "app/Constants.h"
#include "vdrive/VirtualDrives.h"
#include "vdrive/ProcessStarter.h"

namespace mt {

namespace {

// Fills `r` with a vertical blend from `top` to `bottom`.
void Blend(HDC dc, RECT r, COLORREF top, COLORREF bottom) {
  int h = r.bottom - r.top;
  for (int y = 0; y < h; y += 2) {
    auto mix = [&](int a, int b) { return a + (b - a) * y / (h > 1 ? h - 1 : 1); };
    COLORREF c = RGB(mix(GetRValue(top), GetRValue(bottom)), mix(GetGValue(top), GetGValue(bottom)),
                     mix(GetBValue(top), GetBValue(bottom)));
    UniqueBrush b(CreateSolidBrush(c));
    RECT band{r.left, r.top + y, r.right, r.top + y + 2 < r.bottom ? r.top + y + 2 : r.bottom};
    FillRect(dc, &band, b.get());
  }
}

void Shape(HDC dc, COLORREF fill, COLORREF edge, const std::function<void()>& draw) {
  UniqueBrush brush(CreateSolidBrush(fill));
  UniqueHandle<HPEN, GdiTraits<HPEN>> pen(CreatePen(PS_SOLID, 2, edge));
  ScopedSelect selectBrush(dc, brush.get());
  ScopedSelect selectPen(dc, pen.get());
  draw();
}

// The page's decorative picture, drawn in a 192 x 236 design space scaled to the control: a
// folder, an arrow and the drive it becomes.
void PaintPicture(HDC dc, const RECT& client) {
  Blend(dc, client, RGB(234, 244, 255), RGB(190, 214, 240));
  int saved = SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 192, 236, nullptr);
  SetViewportExtEx(dc, client.right, client.bottom, nullptr);

  // Folder.
  Shape(dc, RGB(246, 196, 72), RGB(176, 120, 24), [&] {
    POINT tab[] = {{52, 30}, {82, 30}, {90, 40}, {140, 40}, {140, 50}, {52, 50}};
    Polygon(dc, tab, 6);
    RoundRect(dc, 52, 44, 140, 100, 8, 8);
  });
  Shape(dc, RGB(252, 220, 120), RGB(176, 120, 24), [&] {
    POINT front[] = {{58, 56}, {146, 56}, {136, 100}, {52, 100}};
    Polygon(dc, front, 4);
  });
  // Arrow.
  Shape(dc, RGB(60, 140, 220), RGB(30, 90, 170), [&] {
    POINT arrow[] = {{86, 110}, {106, 110}, {106, 128}, {118, 128},
                     {96, 148}, {74, 128},  {86, 128}};
    Polygon(dc, arrow, 7);
  });
  // Drive.
  Shape(dc, RGB(200, 204, 212), RGB(90, 96, 110),
        [&] { RoundRect(dc, 30, 158, 162, 206, 12, 12); });
  Shape(dc, RGB(150, 156, 168), RGB(90, 96, 110), [&] { Rectangle(dc, 42, 188, 120, 196); });
  Shape(dc, RGB(60, 200, 90), RGB(30, 120, 50), [&] { Ellipse(dc, 140, 186, 150, 196); });
  UniqueFont letterFont(CreateFontW(-20, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET,
                                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                    DEFAULT_PITCH | FF_SWISS, L"Arial"));
  ScopedSelect selectFont(dc, letterFont.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(40, 48, 70));
  RECT label{42, 160, 150, 186};
  DrawTextW(dc, L"X:", -1, &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  RestoreDC(dc, saved);
}

std::vector<std::string> ListEntries(HWND list) {
  std::vector<std::string> out;
  LRESULT n = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT len = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring buf(static_cast<size_t>(len > 0 ? len : 0) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
    out.push_back(Narrow(buf.c_str()));
  }
  return out;
}

}  // namespace

DrivePage::DrivePage(TForm1& form, HWND sheet) : TabPage(form, sheet), svc_(form.svc) {
  HWND p = sheet;
  TForm1& f = form;
  GroupBox3 = f.AddGroup(p, "虚拟硬盘", 6, 4, 458, 266);
  Label9 = f.AddLabel(p, "你要把文件夹：", 18, 26, 150, 14);
  fileedit = f.AddEdit(p, "", 18, 43, 182, 21);
  selectfilebtn = f.AddButton(p, "浏览", 204, 42, 48, 23);
  Label1 = f.AddLabel(p, "转成分区：", 18, 77, 66, 14);
  drivecombox = f.AddControl(p, WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN, 84, 73,
                             56, 220);
  for (const std::string& letter : DriveLetterTable())
    SendMessageW(drivecombox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(letter).c_str()));
  TForm1::SetText(drivecombox, "x:");
  allstartbtn = f.AddButton(p, "建立", 150, 72, 48, 23);
  alldelbtn = f.AddButton(p, "删除", 204, 72, 48, 23);
  Label6 = f.AddLabel(p, "已有的虚拟硬盘：   ", 18, 108, 150, 14);
  ListBox5 = f.AddControl(p, WC_LISTBOXW, "",
                          WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 18, 125, 234,
                          134, WS_EX_CLIENTEDGE);
  Panel5 = f.AddControl(p, L"STATIC", "", WS_CLIPCHILDREN, 266, 22, 188, 238, WS_EX_STATICEDGE);
  Image1 = f.AddPicture(Panel5, 0, 0, 184, 234, true, PaintPicture);

  f.OnClick(selectfilebtn, [this] { selectfilebtnClick(); });
  f.OnClick(allstartbtn, [this] { allstartbtnClick(); });
  f.OnClick(alldelbtn, [this] { alldelbtnClick(); });
  f.OnContextMenu(ListBox5,
                  {{kOpenBackupFolderText, [this] { OpenBackupFolder(svc_, this->form.Handle); }},
                   {kRestoreMenuText, [this] { OpenRestoreWindow(svc_, this->form.Handle); }}});
}

void DrivePage::TabSheet2Show() { Action1Execute(); }

void DrivePage::selectfilebtnClick() {
  std::optional<std::string> folder = svc_.dialogs->BrowseFolder(form.Handle, "选择目录");
  if (folder) TForm1::SetText(fileedit, *folder);
}

VdriveContext DrivePage::Context() {
  return VdriveContext{*svc_.registry,
                       *svc_.messages,
                       *svc_.processes,
                       form.Handle,
                       kApplicationTitle,
                       svc_.files,
                       DataFolder(svc_.exeDir, svc_.places),
                       svc_.sealKeys,
                       HoldsAdminRights(svc_)};
}

void DrivePage::allstartbtnClick() {
  VdriveContext ctx = Context();
  if (CreateMapping(ctx, ListEntries(ListBox5), TForm1::GetText(drivecombox),
                    TForm1::GetText(fileedit)))
    Action1Execute();
}

void DrivePage::alldelbtnClick() {
  VdriveContext ctx = Context();
  int selected = static_cast<int>(SendMessageW(ListBox5, LB_GETCURSEL, 0, 0));
  RemoveMapping(ctx, ListEntries(ListBox5), selected);
  Action1Execute();
}

void DrivePage::Action1Execute() {
  SendMessageW(ListBox5, LB_RESETCONTENT, 0, 0);
  ListMappedDrives(*svc_.registry, [this](const std::string& letter) {
    SendMessageW(ListBox5, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(letter).c_str()));
  });
}

}  // namespace mt
