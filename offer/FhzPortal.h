// The partner offer dialog: invites the user to make the partner portal the browser's home
// page. Shown modally by the launch counter, destroyed when it closes.
#pragma once

#include <windows.h>

#include <map>
#include <string>

#include "app/win/Handles.h"
#include "offer/PartnerOffer.h"

namespace mt {

class TForm1;

class TFhzPortal : public OfferView {
 public:
  explicit TFhzPortal(TForm1& main);
  ~TFhzPortal() override;
  TFhzPortal(const TFhzPortal&) = delete;
  TFhzPortal& operator=(const TFhzPortal&) = delete;

  // Creates the dialog over the Main window (visible or not), runs it modally and returns
  // when the user has closed it.
  void ShowModal();

  bool SetStartPage(const std::string& address) { return logic_.SetStartPage(address); }
  void ShowPartnerCaption() { logic_.ShowPartnerCaption(); }
  void RzBmpButton10Click() { logic_.RzBmpButton10Click(); }
  void FormClose() { logic_.FormClose(); }

  HWND Handle = nullptr;
  HWND Panel1 = nullptr;  // the white raised panel with the logo and the texts
  HWND RzBmpButton10 = nullptr;
  HWND cb_wz = nullptr;

  // OfferView
  bool AutoUpgradeTicked() override;
  void SetAutoUpgradeTicked(bool ticked) override;
  void SetMainCaption(const std::string& caption) override;
  void Notice(const std::string& text, const std::string& caption) override;

 private:
  static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
  static LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);
  LRESULT Handle_(HWND, UINT, WPARAM, LPARAM);
  void CreateControls();
  HWND AddLabel(const std::string& text, int x, int y, int w, int h, HFONT font,
                COLORREF colour);
  int Scale(int pixels96) const;
  void PaintPanel(HDC dc);

  TForm1& main_;
  PortalOffer logic_;
  UniqueFont font_, titleFont_;
  std::map<HWND, COLORREF> colours_;
  UniqueBrush white_;
  bool closed_ = false;
};

}  // namespace mt
