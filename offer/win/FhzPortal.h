// The partner offer dialog: invites the user to make the partner portal the browser's home
// page. Shown modally by the launch counter, destroyed when it closes.
#pragma once

#include <windows.h>

#include <string>

#include "app/win/Handles.h"
#include "app/win/Window.h"
#include "offer/PartnerOffer.h"

namespace mt {

class TForm1;

class TFhzPortal : public Window, public OfferView {
 public:
  explicit TFhzPortal(TForm1& main);
  ~TFhzPortal() override;

  // Creates the dialog over the Main window (visible or not), runs it modally and returns
  // when the user has closed it.
  void ShowModal();

  bool SetStartPage(const std::string& address) { return logic_.SetStartPage(address); }
  void ShowPartnerCaption() { logic_.ShowPartnerCaption(); }
  void RzBmpButton10Click() { logic_.RzBmpButton10Click(); }
  void FormClose() { logic_.FormClose(); }

  HWND Panel1 = nullptr;  // the white raised panel with the logo and the texts
  HWND RzBmpButton10 = nullptr;
  HWND cb_wz = nullptr;

  // OfferView
  bool AutoUpgradeTicked() override;
  void SetAutoUpgradeTicked(bool ticked) override;
  void SetMainCaption(const std::string& caption) override;
  void Notice(const std::string& text, const std::string& caption) override;

  void ShowErrorReport(const std::string& message) override;

 protected:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void CreateControls();
  HWND AddPanelLabel(const std::string& text, int x, int y, int w, int h, int font,
                     COLORREF colour);

  TForm1& main_;
  PortalOffer logic_;
  bool closed_ = false;
};

}  // namespace mt
