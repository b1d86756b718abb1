#include "offer/PartnerOffer.h"

#include "app/Constants.h"
#include "app/Error.h"
#include "app/Registry.h"
#include "app/Settings.h"

namespace mt {

bool IsPartnerEdition(RegistryBackend& registry) {
  try {
    TRegistry reg(registry);
    reg.SetRootKey(RegRoot::CurrentUser);
    reg.OpenKey(kOfferIeMainKey, true);
    return reg.ReadString(kOfferStartPageValue) == kPartnerPortalAddress;
  } catch (...) {
    return false;
  }
}

void RunLaunchCounter(RegistryBackend& registry, const std::function<void()>& showOffer) {
  TRegistry reg(registry);
  reg.SetRootKey(RegRoot::CurrentUser);
  if (!reg.OpenKey(kProductKey, true)) return;
  if (!reg.ValueExists(kLaunchCounterValue)) {
    reg.WriteInteger(kLaunchCounterValue, 3);
    return;
  }
  int32_t count = reg.ReadInteger(kLaunchCounterValue);
  if (count < 5) {
    reg.WriteInteger(kLaunchCounterValue, count + 1);
    return;
  }
  showOffer();
  reg.WriteInteger(kLaunchCounterValue, 1);
}

bool PortalOffer::SetStartPage(const std::string& address) {
  bool written = false;
  try {
    TRegistry reg(registry_);
    reg.SetRootKey(RegRoot::CurrentUser);
    if (reg.OpenKey(kOfferIeMainKey, true)) {
      reg.WriteString(kOfferStartPageValue, address);
      written = true;
    }
  } catch (const std::exception&) {
    written = false;
  }
  // A key that could not be opened wrote nothing either: that is a failure, not a success.
  if (!written) view_.Notice(kMsgStartPageRefused, kNoticeCaption);
  return written;
}

void PortalOffer::ShowPartnerCaption() {
  view_.SetMainCaption(partnerCaption_);
  view_.SetAutoUpgradeTicked(false);
}

void PortalOffer::RzBmpButton10Click() {
  if (SetStartPage(kPartnerPortalAddress)) ShowPartnerCaption();
}

void PortalOffer::FormClose() {
  if (!view_.AutoUpgradeTicked()) return;
  if (SetStartPage(kPartnerPortalAddress)) view_.SetMainCaption(partnerCaption_);
}

}  // namespace mt
