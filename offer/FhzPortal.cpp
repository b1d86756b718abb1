#include "offer/FhzPortal.h"

#include <functional>

#include "app/Constants.h"
#include "app/Unit1.h"

namespace mt {

namespace {

constexpr wchar_t kDialogClass[] = L"TFhzPortal";
constexpr wchar_t kPanelClass[] = L"TFhzPortalPanel";
constexpr int kClientW = 412, kClientH = 292;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
constexpr COLORREF kRed = RGB(220, 0, 0), kBlue = RGB(0, 0, 255), kBlack = RGB(0, 0, 0);
// The panel's rectangle in the dialog and the logo's rectangle in the panel (96-DPI pixels).
constexpr RECT kPanel{8, 8, 404, 258};
constexpr RECT kLogo{16, 12, 76, 72};

const char* const kOfferLines[] = {
    "·常用网站分门别类，一点即达，不必再记网址",
    "·新闻、影视、音乐、游戏、购物，一页尽览",
    "·天气预报、万年历、快递查询，随手就用",
    "·页面清爽，打开飞快，没有弹窗打扰",
    "·每日精选实用好站，上网从这里开始",
};

UniqueFont MakeFont(int pixelHeight, int weight) {
  return UniqueFont(CreateFontW(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE,
                                GB2312_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"宋体"));
}

void RegisterClasses(WNDPROC dialogProc, WNDPROC panelProc) {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  WNDCLASSEXW probe{};
  probe.cbSize = sizeof(probe);
  if (GetClassInfoExW(inst, kDialogClass, &probe)) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = dialogProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(1));
  wc.lpszClassName = kDialogClass;
  RegisterClassExW(&wc);
  WNDCLASSEXW pc{};
  pc.cbSize = sizeof(pc);
  pc.lpfnWndProc = panelProc;
  pc.hInstance = inst;
  pc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  pc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  pc.lpszClassName = kPanelClass;
  RegisterClassExW(&pc);
}

template <typename G>
void WithObjects(HDC dc, G brush, HPEN pen, const std::function<void()>& draw) {
  HGDIOBJ b = SelectObject(dc, brush);
  HGDIOBJ p = SelectObject(dc, pen);
  draw();
  SelectObject(dc, p);
  SelectObject(dc, b);
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
    POINT star[] = {{46, 6}, {48, 11}, {53, 11}, {49, 14}, {51, 19},
                    {46, 16}, {41, 19}, {43, 14}, {39, 11}, {44, 11}};
    Polygon(dc, star, 10);
  });
  RestoreDC(dc, saved);
}

}  // namespace

TFhzPortal::TFhzPortal(TForm1& main)
    : main_(main), logic_(*main.svc.registry, *this, PartnerCaption()) {}

TFhzPortal::~TFhzPortal() {
  if (Handle) {
    SetWindowLongPtrW(Handle, GWLP_USERDATA, 0);
    DestroyWindow(Handle);
  }
}

int TFhzPortal::Scale(int pixels96) const { return main_.Scale(pixels96); }

void TFhzPortal::ShowModal() {
  RegisterClasses(WndProc, PanelProc);
  font_ = MakeFont(Scale(12), FW_NORMAL);
  titleFont_ = MakeFont(Scale(26), FW_BOLD);
  white_ = UniqueBrush(CreateSolidBrush(RGB(255, 255, 255)));

  RECT r{0, 0, Scale(kClientW), Scale(kClientH)};
  AdjustWindowRectEx(&r, kStyle, FALSE, kExStyle);
  int w = r.right - r.left, h = r.bottom - r.top;
  HWND owner = main_.Handle;
  Handle = CreateWindowExW(kExStyle, kDialogClass, L"升级为合作版", kStyle,
                           (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, owner, nullptr,
                           GetModuleHandleW(nullptr), this);
  if (!Handle) return;
  CreateControls();

  // Modal: the Main window takes no input while the offer is up.
  bool ownerEnabled = owner && !EnableWindow(owner, FALSE);
  ShowWindow(Handle, SW_SHOW);
  UpdateWindow(Handle);
  if (main_.OfferShown) main_.OfferShown(*this);
  MSG msg;
  while (!closed_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit to the outer loop
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageW(Handle, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (ownerEnabled) EnableWindow(owner, TRUE);
  if (Handle) {
    HWND h2 = Handle;
    Handle = nullptr;
    SetWindowLongPtrW(h2, GWLP_USERDATA, 0);
    DestroyWindow(h2);
  }
}

HWND TFhzPortal::AddLabel(const std::string& text, int x, int y, int w, int h, HFONT font,
                          COLORREF colour) {
  HWND label = CreateWindowExW(0, L"STATIC", Widen(text).c_str(),
                               WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, Scale(x), Scale(y),
                               Scale(w), Scale(h), Panel1, nullptr, GetModuleHandleW(nullptr),
                               nullptr);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  colours_[label] = colour;
  return label;
}

void TFhzPortal::CreateControls() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  Panel1 = CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE,
                           Scale(kPanel.left), Scale(kPanel.top),
                           Scale(kPanel.right - kPanel.left), Scale(kPanel.bottom - kPanel.top),
                           Handle, nullptr, inst, nullptr);
  SetWindowLongPtrW(Panel1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

  AddLabel(kPortalName, 88, 24, 290, 32, titleFont_.get(), kRed);
  int y = 82;
  for (const char* line : kOfferLines) {
    AddLabel(line, 20, y, 360, 14, font_.get(), kBlack);
    y += 18;
  }
  AddLabel(std::string("把") + kPortalName + "设为首页，上网更方便！", 20, 180, 264, 14,
           font_.get(), kBlue);
  AddLabel("点右边的按钮，一步就能设好。", 20, 198, 264, 14, font_.get(), kBlue);
  CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, Scale(14),
                  Scale(220), Scale(368), Scale(2), Panel1, nullptr, inst, nullptr);
  AddLabel("设为首页后，本软件即自动升级为官方合作版。", 20, 228, 360, 14, font_.get(), kRed);

  RzBmpButton10 = CreateWindowExW(0, L"BUTTON", L"设为首页", WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                                  BS_PUSHBUTTON, Scale(296), Scale(178), Scale(86), Scale(30),
                                  Panel1, nullptr, inst, nullptr);
  SendMessageW(RzBmpButton10, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);

  cb_wz = CreateWindowExW(0, L"BUTTON", L"自动选择，升级为合作版",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, Scale(12),
                          Scale(266), Scale(260), Scale(18), Handle, nullptr, inst, nullptr);
  SendMessageW(cb_wz, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  SendMessageW(cb_wz, BM_SETCHECK, BST_CHECKED, 0);
}

void TFhzPortal::PaintPanel(HDC dc) {
  RECT client;
  GetClientRect(Panel1, &client);
  DrawEdge(dc, &client, EDGE_RAISED, BF_RECT);
  RECT logo{Scale(kLogo.left), Scale(kLogo.top), Scale(kLogo.right), Scale(kLogo.bottom)};
  PaintLogo(dc, logo);
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

LRESULT CALLBACK TFhzPortal::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<TFhzPortal*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle_(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TFhzPortal::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TFhzPortal*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    switch (msg) {
      case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        self->PaintPanel(dc);
        EndPaint(hwnd, &ps);
        return 0;
      }
      case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wp);
        auto it = self->colours_.find(reinterpret_cast<HWND>(lp));
        SetTextColor(dc, it != self->colours_.end() ? it->second : kBlack);
        SetBkColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(self->white_.get());
      }
      case WM_COMMAND:
        // The button on the panel reports to the dialog.
        return SendMessageW(GetParent(hwnd), msg, wp, lp);
      default:
        break;
    }
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT TFhzPortal::Handle_(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (reinterpret_cast<HWND>(lp) == RzBmpButton10 && RzBmpButton10 &&
          HIWORD(wp) == BN_CLICKED) {
        main_.Guarded([this] { RzBmpButton10Click(); });
        return 0;
      }
      break;
    case WM_CLOSE:
      main_.Guarded([this] { FormClose(); });
      closed_ = true;
      PostMessageW(hwnd, WM_NULL, 0, 0);  // wakes the modal loop so that it sees the close
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace mt
