#include "browser/EnrolmentHijacks.h"

#include "app/Backup.h"
#include "app/Error.h"
#include "app/Text.h"

namespace mt {
namespace {

constexpr RegRoot LM = RegRoot::LocalMachine;
// Deeper than any key the registry can hold (it allows 512 levels): the search ends on its
// own, even below a key that links back to a parent.
constexpr int kMaxDepth = 512;

// Whether a value in `key` or below it, at any depth, holds a web address: the address of
// the management server that a real enrolment carries (its DiscoveryServiceFullURL, or an
// account's AppAddr several levels down).
bool NamesAServer(RegistryBackend& registry, const RegKey& key, int depth = 0) {
  for (const std::string& name : registry.ValueNames(key)) {
    auto v = registry.Query(key, name);
    if (!v || (v->type != RegDataType::String && v->type != RegDataType::ExpandString)) continue;
    const std::string text = TrimControl(v->text);
    if (StartsWithNoCase(text, "https://") || StartsWithNoCase(text, "http://")) return true;
  }
  if (depth >= kMaxDepth) return false;
  for (const std::string& sub : registry.KeyNames(key))
    if (auto child = registry.Open(LM, &key, sub, false))
      if (NamesAServer(registry, *child, depth + 1)) return true;
  return false;
}

// An id that names one key directly below its parent: never empty (the parent itself) and
// never a path.
bool DirectName(const std::string& name) {
  return !name.empty() && name.find('\\') == std::string::npos;
}

class EnrolmentModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers&) const override {
    return FindFakeEnrolments(*svc.registry);
  }
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return true;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    if (!DirectName(h.value)) return;
    backup.SaveKey(h.root, RegView::Native, std::string(kEnrollmentsKey) + "\\" + h.value);
    backup.SaveKey(h.root, RegView::Native, std::string(kOmadmAccountsKey) + "\\" + h.value);
  }
  void Repair(Services& svc, const Hijack& h) const override {
    if (!DirectName(h.value)) return;
    RegistryBackend& registry = *svc.registry;
    for (const char* parent : {kEnrollmentsKey, kOmadmAccountsKey}) {
      const std::string path = std::string(parent) + "\\" + h.value;
      if (registry.Open(h.root, nullptr, path, false) &&
          !registry.DeleteTree(h.root, nullptr, path))
        throw AppError(FormatMessage1("Failed to delete key %s", path));
    }
  }
};

}  // namespace

std::vector<Hijack> FindFakeEnrolments(RegistryBackend& registry) {
  // The ids of both places, each once, in the order found.
  std::vector<std::string> ids;
  auto enrollments = registry.Open(LM, nullptr, kEnrollmentsKey, false);
  auto accounts = registry.Open(LM, nullptr, kOmadmAccountsKey, false);
  for (const auto* parent : {enrollments.get(), accounts.get()}) {
    if (!parent) continue;
    for (const std::string& name : registry.KeyNames(*parent)) {
      if (!IsGuidText(name)) continue;
      bool seen = false;
      for (const std::string& id : ids) seen = seen || EqualsNoCase(id, name);
      if (!seen) ids.push_back(name);
    }
  }
  std::vector<Hijack> out;
  for (const std::string& id : ids) {
    auto entry = enrollments ? registry.Open(LM, enrollments.get(), id, false) : nullptr;
    auto account = accounts ? registry.Open(LM, accounts.get(), id, false) : nullptr;
    if ((entry && NamesAServer(registry, *entry)) || (account && NamesAServer(registry, *account)))
      continue;
    // An entry counts when it says it is enrolled; an account of the management client
    // counts on its own, since the client only has accounts for enrolments.
    bool active = account != nullptr;
    if (entry) {
      auto state = registry.Query(*entry, "EnrollmentState");
      active = active || (state && state->type == RegDataType::Integer && state->dword == 1);
    }
    if (!active) continue;
    Hijack h;
    h.module = &EnrolmentHijacks();
    h.root = LM;
    h.value = id;
    h.key = std::string(entry ? kEnrollmentsKey : kOmadmAccountsKey) + "\\" + id;
    h.where = HijackRegPath(LM, h.key);
    h.caption = "设备管理注册（无管理服务器，使浏览器策略生效）：" + id;
    h.action = kHijackActionDelete;
    out.push_back(std::move(h));
  }
  return out;
}

const HijackModule& EnrolmentHijacks() {
  static const EnrolmentModule module;
  return module;
}

}  // namespace mt
