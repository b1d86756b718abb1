#include "tests/support/MemoryRegistry.h"

#include <algorithm>
#include <iterator>

#include "app/Text.h"

namespace mt::test {

struct MemoryRegistry::Node {
  // A value as it was last set: through Set (parsed) or through SetRaw (stored form, kept
  // as given, and read through Query the way the registry parses it).
  struct Stored {
    RegValue value;
    std::optional<RawRegValue> raw;
  };
  std::string name;
  std::vector<std::pair<std::string, Stored>> values;
  std::vector<std::unique_ptr<Node>> children;

  Node* Child(const std::string& n) {
    for (auto& c : children)
      if (EqualsNoCase(c->name, n)) return c.get();
    return nullptr;
  }
  Stored* Value(const std::string& n) {
    for (auto& v : values)
      if (EqualsNoCase(v.first, n)) return &v.second;
    return nullptr;
  }
};

namespace {

constexpr const char* kWowNode = "WOW6432Node";

// An open key: where it physically lives, and the logical root and path it was opened by.
// A key opened below it is looked for in the view that open names, from the logical path:
// the view is not remembered with the handle.
struct MemKey : RegKey {
  MemoryRegistry::Place place;
  RegRoot logicalRoot = RegRoot::LocalMachine;
  std::string logicalPath;
};

const MemKey& AsMem(const RegKey& k) { return static_cast<const MemKey&>(k); }

using Parts = std::vector<std::string>;

Parts PartsOf(const std::string& path) {
  Parts out;
  for (const std::string& p : Split(path, '\\'))
    if (!p.empty()) out.push_back(p);
  return out;
}

std::string JoinParts(const Parts& parts) {
  std::string out;
  for (const std::string& p : parts) {
    if (!out.empty()) out += '\\';
    out += p;
  }
  return out;
}

// True when `parts` starts with the "\"-separated `prefix` (names compared without case).
bool StartsWith(const Parts& parts, size_t from, const std::string& prefix) {
  Parts want = PartsOf(prefix);
  if (parts.size() - std::min(parts.size(), from) < want.size()) return false;
  for (size_t i = 0; i < want.size(); ++i)
    if (!EqualsNoCase(parts[from + i], want[i])) return false;
  return true;
}

// Keys below HKLM\SOFTWARE that WOW64 shares between the views on Windows 7 and later
// ("Registry Keys Affected by WOW64"). HKLM\SOFTWARE\Classes is shared too, but with
// redirected subkeys of its own (kRedirectedClassKeys).
const char* const kSharedSoftwareKeys[] = {
    "Clients",
    "Microsoft\\COM3",
    "Microsoft\\Cryptography\\Calais\\Current",
    "Microsoft\\Cryptography\\Calais\\Readers",
    "Microsoft\\Cryptography\\Services",
    "Microsoft\\CTF\\SystemShared",
    "Microsoft\\CTF\\TIP",
    "Microsoft\\DFS",
    "Microsoft\\Driver Signing",
    "Microsoft\\EnterpriseCertificates",
    "Microsoft\\EventSystem",
    "Microsoft\\MSMQ",
    "Microsoft\\Non-Driver Signing",
    "Microsoft\\Notepad\\DefaultFonts",
    "Microsoft\\OLE",
    "Microsoft\\RAS",
    "Microsoft\\RPC",
    "Microsoft\\SOFTWARE\\Microsoft\\Shared Tools\\MSInfo",
    "Microsoft\\SystemCertificates",
    "Microsoft\\TermServLicensing",
    "Microsoft\\TransactionServer",
    "Microsoft\\Windows\\CurrentVersion\\App Paths",
    "Microsoft\\Windows\\CurrentVersion\\Control Panel\\Cursors\\Schemes",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoplayHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\DriveIcons",
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap",
    "Microsoft\\Windows\\CurrentVersion\\Group Policy",
    "Microsoft\\Windows\\CurrentVersion\\Policies",
    "Microsoft\\Windows\\CurrentVersion\\PreviewHandlers",
    "Microsoft\\Windows\\CurrentVersion\\Setup",
    "Microsoft\\Windows\\CurrentVersion\\Telephony\\Locations",
    "Microsoft\\Windows NT\\CurrentVersion\\Console",
    "Microsoft\\Windows NT\\CurrentVersion\\FontDpi",
    "Microsoft\\Windows NT\\CurrentVersion\\FontLink",
    "Microsoft\\Windows NT\\CurrentVersion\\FontMapper",
    "Microsoft\\Windows NT\\CurrentVersion\\Fonts",
    "Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
    "Microsoft\\Windows NT\\CurrentVersion\\Gre_Initialize",
    "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    "Microsoft\\Windows NT\\CurrentVersion\\Language Pack",
    "Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
    "Microsoft\\Windows NT\\CurrentVersion\\Perflib",
    "Microsoft\\Windows NT\\CurrentVersion\\Ports",
    "Microsoft\\Windows NT\\CurrentVersion\\Print",
    "Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
    "Microsoft\\Windows NT\\CurrentVersion\\Time Zones",
    "Policies",
    "RegisteredApplications",
};

// Subkeys of the shared Classes keys (of HKLM and of HKCU) that are redirected.
const char* const kRedirectedClassKeys[] = {"CLSID", "DirectShow", "Interface", "Media Type",
                                            "MediaFoundation"};

// Keys below Classes\WOW6432Node that link back to the shared key of the same name.
const char* const kLinkedBackClassKeys[] = {"AppID", "Protocols", "TypeLib"};

bool IsOneOf(const std::string& name, const char* const* first, const char* const* last) {
  return std::any_of(first, last, [&](const char* n) { return EqualsNoCase(name, n); });
}

bool IsRedirectedClassKey(const Parts& parts, size_t at) {
  return parts.size() > at &&
         IsOneOf(parts[at], std::begin(kRedirectedClassKeys), std::end(kRedirectedClassKeys));
}

// Inserts WOW6432Node before parts[at] for the Wow32 view of a redirected key.
void Redirect(Parts& parts, RegRoot root) {
  if (root == RegRoot::LocalMachine && StartsWith(parts, 0, "SOFTWARE")) {
    if (parts.size() > 1 && EqualsNoCase(parts[1], kWowNode)) return;  // named already
    if (parts.size() > 1 && EqualsNoCase(parts[1], "Classes")) {
      if (IsRedirectedClassKey(parts, 2)) parts.insert(parts.begin() + 2, kWowNode);
      return;
    }
    for (const char* shared : kSharedSoftwareKeys)
      if (StartsWith(parts, 1, shared)) return;
    parts.insert(parts.begin() + 1, kWowNode);
  } else if (root == RegRoot::CurrentUser && StartsWith(parts, 0, "Software\\Classes")) {
    if (IsRedirectedClassKey(parts, 2)) parts.insert(parts.begin() + 2, kWowNode);
  }
}

// Follows the compatibility links that WOW64 keeps for paths naming WOW6432Node.
void FollowLinks(Parts& parts, RegRoot root) {
  if (root != RegRoot::LocalMachine) return;
  if (StartsWith(parts, 0, "SOFTWARE\\WOW6432Node\\Classes")) {
    // SOFTWARE\WOW6432Node\Classes -> SOFTWARE\Classes\WOW6432Node
    std::swap(parts[1], parts[2]);
  }
  if (StartsWith(parts, 0, "SOFTWARE\\Classes\\WOW6432Node") && parts.size() > 3 &&
      IsOneOf(parts[3], std::begin(kLinkedBackClassKeys), std::end(kLinkedBackClassKeys)))
    parts.erase(parts.begin() + 2);
}

bool IsBelow(const MemoryRegistry::Place& place, const MemoryRegistry::Place& top) {
  if (place.root != top.root) return false;
  const std::string& path = place.path;
  if (top.path.empty()) return true;
  if (path.size() < top.path.size()) return false;
  if (!EqualsNoCase(path.substr(0, top.path.size()), top.path)) return false;
  return path.size() == top.path.size() || path[top.path.size()] == '\\';
}

}  // namespace

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Place MemoryRegistry::Physical(RegRoot root, const std::string& path,
                                               RegView view) {
  Parts parts = PartsOf(path);
  if (root == RegRoot::ClassesRoot) {
    root = RegRoot::LocalMachine;
    parts.insert(parts.begin(), {"SOFTWARE", "Classes"});
  }
  if (view == RegView::Wow32) Redirect(parts, root);
  FollowLinks(parts, root);
  return {root, JoinParts(parts)};
}

bool MemoryRegistry::IsDenied(const Place& place) const {
  return std::any_of(denied_.begin(), denied_.end(),
                     [&](const Place& d) { return IsBelow(place, d); });
}

bool MemoryRegistry::IsReadOnly(const Place& place) const {
  return std::any_of(readOnly_.begin(), readOnly_.end(),
                     [&](const Place& d) { return IsBelow(place, d); });
}

MemoryRegistry::Node* MemoryRegistry::Find(const Place& place, bool create) {
  if (IsDenied(place)) return nullptr;
  // Reading below a root never written inserts nothing: the list reads some places on a
  // thread of its own meanwhile. The root itself always opens.
  auto it = roots_.find(static_cast<uint32_t>(place.root));
  if (it == roots_.end()) {
    if (!create && !PartsOf(place.path).empty()) return nullptr;
    it = roots_.emplace(static_cast<uint32_t>(place.root), std::make_unique<Node>()).first;
  }
  Node* n = it->second.get();
  for (const std::string& part : PartsOf(place.path)) {
    Node* c = n->Child(part);
    if (!c) {
      if (!create) return nullptr;
      auto fresh = std::make_unique<Node>();
      fresh->name = part;
      c = fresh.get();
      n->children.push_back(std::move(fresh));
    }
    n = c;
  }
  return n;
}

std::unique_ptr<RegKey> MemoryRegistry::Open(RegRoot root, const RegKey* parent,
                                             const std::string& subPath, bool create,
                                             RegView view) {
  // Below an open key the logical path goes on from the one that key was opened by, in the
  // view of this open.
  const RegRoot logicalRoot = parent ? AsMem(*parent).logicalRoot : root;
  const std::string logicalPath = parent ? AsMem(*parent).logicalPath + "\\" + subPath : subPath;
  Place place = Physical(logicalRoot, logicalPath, view);
  if (create && !Find(place, false) && IsReadOnly(place)) return nullptr;
  if (!Find(place, create)) return nullptr;
  auto k = std::make_unique<MemKey>();
  k->place = place;
  k->logicalRoot = logicalRoot;
  k->logicalPath = logicalPath;
  return k;
}

std::optional<RegValue> MemoryRegistry::Query(const RegKey& key, const std::string& name) {
  Node* n = Find(AsMem(key).place, false);
  if (!n) return std::nullopt;
  Node::Stored* v = n->Value(name);
  if (!v) return std::nullopt;
  return v->value;
}

std::optional<RawRegValue> MemoryRegistry::QueryRaw(const RegKey& key, const std::string& name) {
  Node* n = Find(AsMem(key).place, false);
  if (!n) return std::nullopt;
  Node::Stored* v = n->Value(name);
  if (!v) return std::nullopt;
  return v->raw ? *v->raw : RawFromValue(v->value);
}

bool MemoryRegistry::SetRaw(const RegKey& key, const std::string& name, const RawRegValue& value) {
  const Place& place = AsMem(key).place;
  if (IsReadOnly(place) || !Find(place, false)) return false;
  SetValue(place, name, ValueFromRaw(value), value);
  return true;
}

bool MemoryRegistry::Set(const RegKey& key, const std::string& name, const RegValue& value) {
  const Place& place = AsMem(key).place;
  if (IsReadOnly(place) || !Find(place, false)) return false;
  SetValue(place, name, value);
  return true;
}

bool MemoryRegistry::DeleteValue(const RegKey& key, const std::string& name) {
  const Place& place = AsMem(key).place;
  if (IsReadOnly(place)) return false;
  Node* n = Find(place, false);
  if (!n) return false;
  auto it = std::find_if(n->values.begin(), n->values.end(),
                         [&](auto& v) { return EqualsNoCase(v.first, name); });
  if (it == n->values.end()) return false;
  n->values.erase(it);
  return true;
}

bool MemoryRegistry::DeleteTree(RegRoot root, const RegKey* parent, const std::string& subPath,
                                RegView view) {
  if (PartsOf(subPath).empty()) return false;
  Place place = parent ? Physical(AsMem(*parent).logicalRoot,
                                  AsMem(*parent).logicalPath + "\\" + subPath, view)
                       : Physical(root, subPath, view);
  Parts parts = PartsOf(place.path);
  if (parts.empty() || IsReadOnly(place)) return false;
  std::string leaf = parts.back();
  parts.pop_back();
  Node* n = Find({place.root, JoinParts(parts)}, false);
  if (!n) return false;
  auto it = std::find_if(n->children.begin(), n->children.end(),
                         [&](auto& c) { return EqualsNoCase(c->name, leaf); });
  if (it == n->children.end()) return false;
  n->children.erase(it);
  return true;
}

std::vector<std::string> MemoryRegistry::ValueNames(const RegKey& key) {
  std::vector<std::string> out;
  if (Node* n = Find(AsMem(key).place, false))
    for (auto& v : n->values) out.push_back(v.first);
  return out;
}

std::vector<std::string> MemoryRegistry::KeyNames(const RegKey& key) {
  std::vector<std::string> out;
  if (Node* n = Find(AsMem(key).place, false))
    for (auto& c : n->children) out.push_back(c->name);
  return out;
}

void MemoryRegistry::SetValue(const Place& place, const std::string& name, const RegValue& value,
                              std::optional<RawRegValue> raw) {
  Node* n = Find(place, true);
  if (!n) return;
  Node::Stored stored{value, std::move(raw)};
  if (Node::Stored* old = n->Value(name)) {
    *old = std::move(stored);
  } else {
    n->values.emplace_back(name, std::move(stored));
  }
}

void MemoryRegistry::CreatePath(RegRoot root, const std::string& path, RegView view) {
  Find(Physical(root, path, view), true);
}

void MemoryRegistry::SetString(RegRoot root, const std::string& path, const std::string& name,
                               const std::string& text, RegView view) {
  RegValue v;
  v.type = RegDataType::String;
  v.text = text;
  SetValue(Physical(root, path, view), name, v);
}

void MemoryRegistry::SetDword(RegRoot root, const std::string& path, const std::string& name,
                              uint32_t dword, RegView view) {
  RegValue v;
  v.type = RegDataType::Integer;
  v.dword = dword;
  SetValue(Physical(root, path, view), name, v);
}

void MemoryRegistry::SetBinary(RegRoot root, const std::string& path, const std::string& name,
                               const std::string& bytes, RegView view) {
  RegValue v;
  v.type = RegDataType::Binary;
  v.bytes = bytes;
  SetValue(Physical(root, path, view), name, v);
}

std::optional<RegValue> MemoryRegistry::Get(RegRoot root, const std::string& path,
                                            const std::string& name, RegView view) {
  Node* n = Find(Physical(root, path, view), false);
  if (!n) return std::nullopt;
  Node::Stored* v = n->Value(name);
  if (!v) return std::nullopt;
  return v->value;
}

bool MemoryRegistry::HasKey(RegRoot root, const std::string& path, RegView view) {
  return Find(Physical(root, path, view), false) != nullptr;
}

void MemoryRegistry::Deny(RegRoot root, const std::string& path, RegView view) {
  denied_.push_back(Physical(root, path, view));
}

void MemoryRegistry::MakeReadOnly(RegRoot root, const std::string& path, RegView view) {
  readOnly_.push_back(Physical(root, path, view));
}

}  // namespace mt::test
