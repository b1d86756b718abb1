// The partner home-page offer: the partner-edition test, the launch counter that shows the
// offer every fifth start, and the offer dialog's behaviour (the window is TFhzPortal).
#pragma once

#include <functional>
#include <string>

#include "app/Services.h"

namespace mt {

// The partner portal, with the maker's referral number. Compared and written as a whole.
inline constexpr const char* kPartnerPortalAddress =
    "http://www.xingfan-daohang.example/?tn=mirtak_1013";
inline constexpr const char* kPortalName = "星帆网址导航";

inline constexpr const char* kOfferIeMainKey = "\\Software\\Microsoft\\Internet Explorer\\Main";
inline constexpr const char* kOfferStartPageValue = "Start Page";
inline constexpr const char* kMsgStartPageRefused = "被杀毒软件拦截，请重试！";

// True when the current user's browser start page is the partner portal address, byte for
// byte. Any error while reading counts as false.
bool IsPartnerEdition(RegistryBackend& registry);

// One start of the normal edition: "cs" absent -> 3; below 5 -> one more; 5 or more -> the
// offer (`showOffer`, modal) and then 1. A Product key that cannot be opened or created
// leaves everything as it is. A "cs" that is not an integer throws the registry's error.
void RunLaunchCounter(RegistryBackend& registry, const std::function<void()>& showOffer);

// What the offer's behaviour needs of its dialog.
class OfferView {
 public:
  virtual ~OfferView() = default;
  virtual bool AutoUpgradeTicked() = 0;  // cb_wz
  virtual void SetAutoUpgradeTicked(bool ticked) = 0;
  virtual void SetMainCaption(const std::string& caption) = 0;
  // Message box owned by the dialog: OK button, no icon.
  virtual void Notice(const std::string& text, const std::string& caption) = 0;
};

class PortalOffer {
 public:
  PortalOffer(RegistryBackend& registry, OfferView& view, std::string partnerCaption)
      : registry_(registry), view_(view), partnerCaption_(std::move(partnerCaption)) {}

  // Writes `address` as the start page. A refused write, or a "Main" key that can be neither
  // opened nor created, shows "被杀毒软件拦截，请重试！" and gives false.
  bool SetStartPage(const std::string& address);
  // The Main window gets the partner caption; the box is unticked so that closing does not
  // write a second time.
  void ShowPartnerCaption();
  // "设为首页". The dialog stays open.
  void RzBmpButton10Click();
  // The user closes the dialog: with the box ticked this accepts the offer.
  void FormClose();

 private:
  RegistryBackend& registry_;
  OfferView& view_;
  std::string partnerCaption_;
};

}  // namespace mt
