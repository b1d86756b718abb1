#include "browser/HostsHijacks.h"

#include "app/Backup.h"
#include "app/ChangeFile.h"
#include "app/Error.h"
#include "app/HostsPath.h"
#include "app/Text.h"
#include "browser/HostsText.h"

namespace mt {

namespace {

Hijack Row(const std::string& path) {
  Hijack h;
  h.module = &HostsHijacks();
  h.root = RegRoot::LocalMachine;
  h.path = path;
  return h;
}

// The entry of the file that still holds the finding's line: the one with the same bytes
// nearest to its number (lines taken out before it move it up).
const HostsEntry* EntryOf(const std::string& bytes, const HostsText& text, const Hijack& h) {
  const HostsEntry* best = nullptr;
  size_t distance = 0;
  for (const HostsEntry& e : text.entries) {
    if (e.end - e.begin != h.lineBytes.size() ||
        bytes.compare(e.begin, e.end - e.begin, h.lineBytes) != 0)
      continue;
    const size_t d = e.number > h.line ? e.number - h.line : h.line - e.number;
    if (!best || d < distance) {
      best = &e;
      distance = d;
    }
  }
  return best;
}

class HostsModule : public HijackModule {
 public:
  std::vector<Hijack> Find(Services& svc, const InstalledBrowsers&) const override {
    return FindHostsHijacks(svc);
  }
  bool MachineWide(const Hijack&, const std::vector<ShortcutFolder>&) const override {
    return true;
  }
  void Save(DeletionBackup& backup, const Hijack& h) const override {
    // Several lines of one file save it once, as it was before any of them went.
    if (!backup.Holds(kFileKind, h.path)) backup.SaveFile(h.path);
  }
  void Repair(Services& svc, const Hijack& h) const override {
    FileSystem& files = *svc.files;
    const std::string bytes = ReadAllBytes(files, h.path, kHostsReadLimit);
    const HostsText text = ParseHosts(bytes);
    const HostsEntry* e = EntryOf(bytes, text, h);
    if (!e) return;  // the line is gone already
    const std::string repaired = WithoutNames(bytes, *e, h.lineNames);
    if (repaired == bytes) return;
    // Written in place with the file's attributes again: a read-only hosts file is made
    // writable for the write only.
    FileMeta meta;
    if (auto now = files.Meta(h.path)) {
      meta.attributes = now->attributes;
      meta.created = now->created;
    }
    files.WriteRestored(h.path, repaired, meta);
  }
};

}  // namespace

std::vector<Hijack> FindHostsHijacks(Services& svc) {
  std::vector<Hijack> out;
  if (!svc.environment || !svc.files || !svc.registry) return out;
  const std::string path = HostsFilePath(*svc.registry, svc.environment);
  // Without a hosts file nothing is redirected.
  if (path.empty() || !svc.files->FileExists(path)) return out;
  std::string bytes;
  try {
    auto stream = svc.files->OpenRead(path);
    const uint64_t size = stream->Size();
    if (size > kHostsReadLimit) {
      Hijack h = Row(path);
      h.caption = "hosts 文件过大（" + std::to_string(size >> 20) + " MB），未读取";
      h.where = path;
      h.action = "未修改";
      h.repairable = false;
      out.push_back(std::move(h));
      return out;
    }
    stream.reset();
    bytes = ReadAllBytes(*svc.files, path, kHostsReadLimit);
  } catch (const AppError&) {
    Hijack h = Row(path);
    h.caption = std::string("hosts 文件无法检查：") + kCannotOpenFile;
    h.where = path;
    h.action = "未修改";
    h.repairable = false;
    out.push_back(std::move(h));
    return out;
  }

  const HostsText text = ParseHosts(bytes);
  for (const HostsEntry& e : text.entries) {
    std::vector<std::string> known;
    const char* group = nullptr;
    for (const HostsName& n : e.names)
      if (const char* g = WellKnownGroup(n.text)) {
        if (!group) group = g;
        known.push_back(n.text);
      }
    if (known.empty()) continue;
    const bool block = BlockingAddress(e.address);
    std::string names;
    for (const std::string& n : known) names += (names.empty() ? "" : "、") + n;
    Hijack h = Row(path);
    h.caption = std::string(block ? "hosts 屏蔽（" : "hosts 重定向（") + group +
                (block ? "，可能是您自己添加的）：" : "）：") + HijackShown(names) + " → " +
                e.address;
    const size_t others = e.names.size() - known.size();
    if (others > 0) h.caption += "（此行另有 " + std::to_string(others) + " 个名称，保留）";
    h.where = path + "，第 " + std::to_string(e.number) + " 行";
    h.action = others > 0 ? "删除此行中的这些名称" : "删除此行";
    h.line = e.number;
    h.lineBytes = bytes.substr(e.begin, e.end - e.begin);
    h.lineNames = std::move(known);
    out.push_back(std::move(h));
  }
  return out;
}

const HijackModule& HostsHijacks() {
  static const HostsModule module;
  return module;
}

}  // namespace mt
