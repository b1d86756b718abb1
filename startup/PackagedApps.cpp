#include "startup/PackagedApps.h"

#include <memory>

#include "app/Error.h"
#include "app/Registry.h"
#include "app/Services.h"
#include "app/Text.h"
#include "startup/XmlScan.h"

namespace mt {

namespace {

// A manifest is a few KiB; anything far larger is not one.
constexpr uint64_t kMaxManifestBytes = 8u << 20;

bool IsTrue(const std::optional<std::string>& text) {
  return text && (*text == "true" || *text == "1");
}

// Whether an application (or an extension's own entry) runs as a packaged desktop app:
// a full-trust entry point, or a desktop runtime behaviour.
bool IsDesktopEntry(const std::string& xml, const XmlElement& element) {
  if (XmlAttribute(xml, element, "EntryPoint").value_or("") == "Windows.FullTrustApplication")
    return true;
  const std::string behaviour = XmlAttribute(xml, element, "RuntimeBehavior").value_or("");
  return behaviour == "packagedClassicApp" || behaviour == "win32App";
}

std::string ManifestText(const std::string& bytes) {
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return bytes.substr(3);
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) return FromUtf16Le(bytes.substr(2));
  return bytes;
}

}  // namespace

std::vector<ManifestStartupTask> ReadManifestStartupTasks(const std::string& bytes) {
  const std::string xml = ManifestText(bytes);
  std::vector<ManifestStartupTask> tasks;
  for (size_t from = 0;;) {
    const XmlElement app = FindXmlElement(xml, "Application", from, xml.size());
    if (!app.found()) break;
    from = app.contentEnd > app.open ? app.contentEnd : app.tagEnd + 1;
    const std::string appProgram = XmlAttribute(xml, app, "Executable").value_or("");
    const bool desktopApp = IsDesktopEntry(xml, app);
    for (size_t at = app.contentBegin; at < app.contentEnd;) {
      const XmlElement extension = FindXmlElement(xml, "Extension", at, app.contentEnd);
      if (!extension.found()) break;
      at = extension.contentEnd > extension.open ? extension.contentEnd : extension.tagEnd + 1;
      if (XmlAttribute(xml, extension, "Category").value_or("") != "windows.startupTask") continue;
      const XmlElement task = FindXmlElement(xml, "StartupTask", extension.contentBegin,
                                             extension.contentEnd);
      if (!task.found()) continue;
      ManifestStartupTask out;
      out.taskId = TrimControl(XmlAttribute(xml, task, "TaskId").value_or(""));
      out.displayName = XmlAttribute(xml, task, "DisplayName").value_or("");
      out.executable = XmlAttribute(xml, extension, "Executable").value_or(appProgram);
      if (const auto enabled = XmlAttribute(xml, task, "Enabled")) out.enabled = IsTrue(enabled);
      out.desktopApp = desktopApp || IsDesktopEntry(xml, extension);
      if (out.taskId.empty() || TrimControl(out.executable).empty()) continue;
      tasks.push_back(std::move(out));
    }
  }
  return tasks;
}

std::string PackageFamilyName(const std::string& fullName) {
  // Name_Version_Architecture_ResourceId_PublisherId: the name holds no "_", the resource
  // id may be empty.
  std::vector<std::string> parts;
  size_t begin = 0;
  for (size_t end; (end = fullName.find('_', begin)) != std::string::npos; begin = end + 1)
    parts.push_back(fullName.substr(begin, end - begin));
  parts.push_back(fullName.substr(begin));
  if (parts.size() != 5 || parts[0].empty() || parts[4].empty()) return std::string();
  return parts[0] + "_" + parts[4];
}

std::string IndirectDisplayName(const std::string& fullName, const std::string& displayName) {
  const std::string scheme = "ms-resource:";
  if (displayName.compare(0, scheme.size(), scheme) != 0) return std::string();
  const std::string rest = displayName.substr(scheme.size());
  const std::string name = fullName.substr(0, fullName.find('_'));
  std::string uri;
  if (rest.compare(0, 2, "//") == 0)
    uri = displayName;  // already whole: ms-resource://Name/Resources/Key
  else if (!rest.empty() && rest[0] == '/') uri = "ms-resource://" + name + rest;
  else uri = "ms-resource://" + name + "/Resources/" + rest;
  return "@{" + fullName + "?" + uri + "}";
}

std::vector<PackagedStartupTask> InstalledStartupTasks(RegistryBackend& registry,
                                                       FileSystem& files) {
  std::vector<PackagedStartupTask> out;
  auto packages = registry.Open(RegRoot::CurrentUser, nullptr, kPackageRepositoryKeyPath, false,
                                RegView::Native);
  if (!packages) return out;
  auto states = registry.Open(RegRoot::CurrentUser, nullptr, kSystemAppDataKeyPath, false,
                              RegView::Native);
  for (const std::string& fullName : registry.KeyNames(*packages)) {
    auto package = registry.Open(RegRoot::CurrentUser, packages.get(), fullName, false,
                                 RegView::Native);
    if (!package) continue;
    const std::optional<RegValue> root = registry.Query(*package, "PackageRootFolder");
    if (!root || (root->type != RegDataType::String && root->type != RegDataType::ExpandString))
      continue;
    std::string folder = TrimControl(root->text);
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
    if (folder.empty()) continue;
    std::vector<ManifestStartupTask> tasks;
    try {
      tasks = ReadManifestStartupTasks(
          ReadAllBytes(files, folder + "\\AppxManifest.xml", kMaxManifestBytes));
    } catch (const AppError&) {
      continue;  // a package being removed, or a folder the user may not read
    }
    const std::string family = PackageFamilyName(fullName);
    for (const ManifestStartupTask& task : tasks) {
      PackagedStartupTask row;
      row.packageFullName = fullName;
      row.taskId = task.taskId;
      row.displayName = task.displayName;
      std::string program = task.executable;
      for (char& c : program)
        if (c == '/') c = '\\';
      row.program = folder + "\\" + program;
      std::optional<uint32_t> state;
      // A task id holding "\\" would name another key than the task's own.
      if (states && !family.empty() && task.taskId.find('\\') == std::string::npos) {
        if (auto key = registry.Open(RegRoot::CurrentUser, states.get(),
                                     family + "\\" + task.taskId, false, RegView::Native)) {
          const std::optional<RegValue> value = registry.Query(*key, "State");
          if (value && value->type == RegDataType::Integer) state = value->dword;
        }
      }
      row.startsAtLogon = state ? (*state == 2 || *state == 4)
                                : task.desktopApp && task.enabled.value_or(false);
      out.push_back(std::move(row));
    }
  }
  return out;
}

}  // namespace mt
