#include "browser/ChromiumProfiles.h"

#include "app/Text.h"
#include "browser/Hijack.h"

namespace mt {

const std::vector<ChromiumBrowser> kChromiumBrowsers = {
    {"Edge",
     "msedge.exe",
     false,
     "Microsoft\\Edge\\User Data",
     "Software\\Microsoft\\Edge\\PreferenceMACs",
     {"bing.com", "msn.com", "msn.cn", "microsoft.com", "microsoftstart.com"}},
    {"Chrome",
     "chrome.exe",
     false,
     "Google\\Chrome\\User Data",
     "Software\\Google\\Chrome\\PreferenceMACs",
     {"google.com", "google.com.hk", "google.cn"}},
    {"Chromium",
     "chrome.exe",
     false,
     "Chromium\\User Data",
     "Software\\Chromium\\PreferenceMACs",
     {"google.com", "google.com.hk", "google.cn"}},
    {"Brave",
     "brave.exe",
     false,
     "BraveSoftware\\Brave-Browser\\User Data",
     "Software\\BraveSoftware\\Brave-Browser\\PreferenceMACs",
     {"brave.com"}},
    {"360极速浏览器",
     "360chrome.exe",
     false,
     "360Chrome\\Chrome\\User Data",
     "",
     {"360.cn", "360.com", "so.com"}},
    {"360安全浏览器", "360se.exe", true, "360se6\\User Data", "", {"360.cn", "360.com", "so.com"}},
    // Installs that share the engine with other 360 programs keep the profile one level down.
    {"360安全浏览器",
     "360se.exe",
     true,
     "secoresdk\\360se6\\User Data",
     "",
     {"360.cn", "360.com", "so.com"}},
    {"QQ浏览器",
     "QQBrowser.exe",
     false,
     "Tencent\\QQBrowser\\User Data",
     "",
     {"qq.com", "sogou.com"}},
};

PrefRead ReadPrefFile(FileSystem& files, const std::string& path, nlohmann::ordered_json& doc) {
  doc = nlohmann::ordered_json();
  std::string text;
  try {
    if (!files.FileExists(path)) return PrefRead::Missing;
    auto in = files.OpenRead(path);
    if (in->Size() > kMaxProfileFile) return PrefRead::TooLarge;
    std::string buffer(65536, '\0');
    for (size_t n; (n = in->Read(&buffer[0], buffer.size())) > 0;) {
      text.append(buffer, 0, n);
      // The file may have grown since its size was asked.
      if (text.size() > kMaxProfileFile) return PrefRead::TooLarge;
    }
  } catch (const std::exception&) {
    return PrefRead::Unreadable;
  }
  // The parser takes UTF-8 only (a leading byte-order mark is skipped); a file in another
  // encoding is not JSON to it.
  doc = nlohmann::ordered_json::parse(text, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    doc = nlohmann::ordered_json();
    return PrefRead::NotJson;
  }
  return PrefRead::Ok;
}

std::string PrefReadProblem(PrefRead r) {
  switch (r) {
    case PrefRead::Missing: return "文件不存在";
    case PrefRead::TooLarge: return "文件过大（超过 16 MiB），未读取";
    case PrefRead::Unreadable: return kCannotOpenFile;
    case PrefRead::NotJson: return "不是有效的 JSON（或不是 UTF-8 编码）";
    case PrefRead::Ok: break;
  }
  return std::string();
}

std::vector<ChromiumProfile> ChromiumProfilesOf(FileSystem& files, const std::string& userData,
                                                std::string& problem) {
  problem.clear();
  std::vector<ChromiumProfile> out;
  nlohmann::ordered_json state;
  const PrefRead r = ReadPrefFile(files, userData + "\\Local State", state);
  if (r == PrefRead::Ok) {
    const nlohmann::ordered_json* cache = PrefAt(state, "profile.info_cache");
    if (cache && cache->is_object()) {
      for (auto it = cache->begin(); it != cache->end(); ++it) {
        const std::string& dir = it.key();
        if (dir.empty() || dir == "." || dir == ".." ||
            dir.find_first_of("\\/:") != std::string::npos)
          continue;
        std::string name = dir;
        if (it->is_object() && it->contains("name") && (*it)["name"].is_string() &&
            !(*it)["name"].get<std::string>().empty())
          name = (*it)["name"].get<std::string>();
        out.push_back({dir, name});
      }
      return out;
    }
  } else if (r != PrefRead::Missing) {
    problem = PrefReadProblem(r);
  }
  out.push_back({"Default", "Default"});
  return out;
}

namespace {

std::vector<std::string> PathParts(const std::string& path) { return Split(path, '.'); }

}  // namespace

const nlohmann::ordered_json* PrefAt(const nlohmann::ordered_json& doc, const std::string& path) {
  const nlohmann::ordered_json* at = &doc;
  for (const std::string& part : PathParts(path)) {
    if (!at->is_object()) return nullptr;
    auto it = at->find(part);
    if (it == at->end()) return nullptr;
    at = &*it;
  }
  return at;
}

bool ErasePref(nlohmann::ordered_json& doc, const std::string& path) {
  const std::vector<std::string> parts = PathParts(path);
  if (parts.empty()) return false;
  nlohmann::ordered_json* at = &doc;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    if (!at->is_object()) return false;
    auto it = at->find(parts[i]);
    if (it == at->end()) return false;
    at = &*it;
  }
  return at->is_object() && at->erase(parts.back()) > 0;
}

bool EraseIntegrity(nlohmann::ordered_json& doc, const std::string& path) {
  auto protection = doc.find("protection");
  if (protection == doc.end() || !protection->is_object()) return false;
  bool any = false;
  for (auto store = protection->begin(); store != protection->end(); ++store) {
    if (!store->is_object()) continue;
    any = ErasePref(*store, path) || any;
    any = ErasePref(*store, path + "_encrypted_hash") || any;
  }
  return any;
}

std::string PrefText(const nlohmann::ordered_json& doc) {
  return doc.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::strict);
}

std::string UrlHost(const std::string& url) {
  size_t start = url.find("://");
  start = start == std::string::npos ? 0 : start + 3;
  size_t end = url.find_first_of("/?#", start);
  std::string host = url.substr(start, end == std::string::npos ? std::string::npos : end - start);
  const size_t at = host.rfind('@');
  if (at != std::string::npos) host = host.substr(at + 1);
  const size_t colon = host.find(':');
  if (colon != std::string::npos) host = host.substr(0, colon);
  while (!host.empty() && host.back() == '.') host.pop_back();
  host = LowerAscii(host);
  if (host.rfind("www.", 0) == 0) host = host.substr(4);
  return host;
}

bool IsOwnAddress(const ChromiumBrowser& browser, const std::string& url) {
  const std::string u = LowerAscii(TrimControl(url));
  if (u.empty() || u == "about:blank") return true;
  // Internal pages, and the search templates that stand for the browser's own engine.
  for (const char* scheme : {"chrome://", "chrome-search://", "edge://", "brave://",
                             "about:", "se://", "qqbrowser://", "{google:baseurl}"})
    if (u.rfind(scheme, 0) == 0) return true;
  const std::string host = UrlHost(u);
  if (host.empty()) return false;
  for (const std::string& own : browser.ownHosts)
    if (host == own || EndsWithNoCase(host, "." + own)) return true;
  return false;
}

}  // namespace mt
