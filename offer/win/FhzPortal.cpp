#include "offer/win/FhzPortal.h"

#include <functional>

#include "app/Constants.h"
#include "app/win/Unit1.h"

namespace mt {

namespace {

constexpr wchar_t kDialogClass[] = L"TFhzPortal";
constexpr int kClientW = 412, kClientH = 292;
constexpr COLORREF kRed = RGB(220, 0, 0), kBlue = RGB(0, 0, 255), kBlack = RGB(0, 0, 0);
// The panel's rectangle in the dialog and the logo's rectangle in the panel (96-DPI pixels).
constexpr RECT kPanel{8, 8, 404, 258};
constexpr RECT kLogo{16, 12, 76, 72};

const char* const kOfferLines[] = {
    "·常用网站分门别类，一点即达，不必再记网址", "·新闻、影视、音乐、游戏、购物，一页尽览",
    "·天气预报、万年历、快递查询，随手就用",     "·页面清爽，打开飞快，没有弹窗打扰",
    "·每日精选实用好站，上网从这里开始",
};

template <typename G>
void WithObjects(HDC dc, G brush, HPEN pen, const std::function<void()>& draw) {
  ScopedSelect b(dc, brush);
  ScopedSelect p(dc, pen);
  draw();
}

// The portal's logo, drawn in a 60 x 60 design space: a blue disc with a white sail over
// a wave and a golden star.
void PaintLogo(HDC dc, const RECT& r) {
  int saved = SaveDC(dc);
  SetMapMode(dc, MM_ANISOTROPIC);
  SetWindowExtEx(dc, 60, 60, nullptr);
  SetViewportExtEx(dc, r.right - r.left, r.bottom - r.top, nullptr);
  SetViewportOrgEx(dc, r.left, r.top, nullptr);
  UniqueBrush blue(CreateSolidBrush(RGB(28, 110, 210)));
  UniqueBrush white(CreateSolidBrush(RGB(255, 255, 255)));
  UniqueBrush gold(CreateSolidBrush(RGB(255, 200, 40)));
  UniqueBrush sea(CreateSolidBrush(RGB(120, 200, 250)));
  UniqueHandle<HPEN, GdiTraits<HPEN>> edge(CreatePen(PS_SOLID, 1, RGB(14, 70, 150)));
  UniqueHandle<HPEN, GdiTraits<HPEN>> none(CreatePen(PS_NULL, 0, 0));
  WithObjects(dc, blue.get(), edge.get(), [&] { Ellipse(dc, 1, 1, 59, 59); });
  WithObjects(dc, white.get(), none.get(), [&] {
    POINT sail[] = {{30, 10}, {30, 40}, {14, 40}};
    Polygon(dc, sail, 3);
    POINT jib[] = {{33, 16}, {46, 40}, {33, 40}};
    Polygon(dc, jib, 3);
  });
  WithObjects(dc, sea.get(), none.get(), [&] {
    POINT wave[] = {{8, 44}, {18, 41}, {30, 45}, {42, 41}, {52, 44}, {46, 52}, {14, 52}};
    Polygon(dc, wave, 7);
  });
  WithObjects(dc, gold.get(), none.get(), [&] {
    POINT star[] = {{46, 6},  {48, 11}, {53, 11}, {49, 14}, {51, 19},
                    {46, 16}, {41, 19}, {43, 14}, {39, 11}, {44, 11}};
    Polygon(dc, star, 10);
  });
  RestoreDC(dc, saved);
}

}  // namespace

TFhzPortal::TFhzPortal(TForm1& main)
    : main_(main), logic_(*main.svc.registry, *this, PartnerCaption()) {}

TFhzPortal::~TFhzPortal() = default;

void TFhzPortal::ShowErrorReport(const std::string& message) { main_.ShowErrorReport(message); }

void TFhzPortal::ShowModal() {
  HWND owner = main_.Handle;
  CreateFrame({kDialogClass, "升级为合作版", kDialogFrameStyle, kDialogFrameExStyle, kClientW,
               kClientH, owner, true});
  CreateControls();

  // Modal: the Main window takes no input while the offer is up.
  bool ownerEnabled = owner && !EnableWindow(owner, FALSE);
  ShowWindow(Handle, SW_SHOW);
  UpdateWindow(Handle);
  if (main_.svc.offerShown) main_.svc.offerShown(*this);
  MSG msg;
  while (!closed_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit to the outer loop
      break;
    }
    if (got < 0) break;
    DispatchUiMessage(msg);
  }
  if (ownerEnabled) EnableWindow(owner, TRUE);
  if (Handle) DestroyWindow(Handle);
}

HWND TFhzPortal::AddPanelLabel(const std::string& text, int x, int y, int w, int h, int font,
                               COLORREF colour) {
  HWND label = AddLabel(Panel1, text, x, y, w, h);
  SetControlFont(label, font);
  SetLabelColour(label, colour);
  return label;
}

void TFhzPortal::CreateControls() {
  const int titleFont = AddFont(26, FW_BOLD);
  Panel1 = AddPanel(
      Handle, kPanel.left, kPanel.top, kPanel.right - kPanel.left, kPanel.bottom - kPanel.top,
      RGB(255, 255, 255), true, [this](HDC dc, const RECT&) {
        RECT logo{Scale(kLogo.left), Scale(kLogo.top), Scale(kLogo.right), Scale(kLogo.bottom)};
        PaintLogo(dc, logo);
      });

  AddPanelLabel(kPortalName, 88, 24, 290, 32, titleFont, kRed);
  int y = 82;
  for (const char* line : kOfferLines) {
    AddPanelLabel(line, 20, y, 360, 14, kNormalFont, kBlack);
    y += 18;
  }
  AddPanelLabel(std::string("把") + kPortalName + "设为首页，上网更方便！", 20, 180, 264, 14,
                kNormalFont, kBlue);
  AddPanelLabel("点右边的按钮，一步就能设好。", 20, 198, 264, 14, kNormalFont, kBlue);
  AddControl(Panel1, L"STATIC", "", SS_ETCHEDHORZ, 14, 220, 368, 2);
  AddPanelLabel("设为首页后，本软件即自动升级为官方合作版。", 20, 228, 360, 14, kNormalFont, kRed);

  RzBmpButton10 = AddButton(Panel1, "设为首页", 296, 178, 86, 30);
  OnClick(RzBmpButton10, [this] { RzBmpButton10Click(); });

  cb_wz = AddButton(Handle, "自动选择，升级为合作版", 12, 266, 260, 18, BS_AUTOCHECKBOX);
  SendMessageW(cb_wz, BM_SETCHECK, BST_CHECKED, 0);
}

bool TFhzPortal::AutoUpgradeTicked() {
  return SendMessageW(cb_wz, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TFhzPortal::SetAutoUpgradeTicked(bool ticked) {
  SendMessageW(cb_wz, BM_SETCHECK, ticked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TFhzPortal::SetMainCaption(const std::string& caption) { main_.SetCaption(caption); }

void TFhzPortal::Notice(const std::string& text, const std::string& caption) {
  main_.svc.messages->Show(Handle, text, caption, kMbOk);
}

// The dialog has no Esc shortcut: closing it with the box ticked accepts the offer, so a
// stray key must not close it (Window::OnEscape does nothing).
LRESULT TFhzPortal::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) {
    Guarded([this] { FormClose(); });
    closed_ = true;
    PostMessageW(Handle, WM_NULL, 0, 0);  // wakes the modal loop so that it sees the close
    return 0;
  }
  return Window::OnMessage(msg, wp, lp);
}

}  // namespace mt
