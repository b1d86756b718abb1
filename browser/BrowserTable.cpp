#include "browser/BrowserTable.h"

#include "app/Text.h"

namespace mt {

const std::vector<KnownBrowser> kKnownBrowsers = {
    {"msedge.exe", "Edge", {"Microsoft Edge"}},
    {"chrome.exe", "Chrome", {"Google Chrome", "Chrome", "Chromium"}},
    {"firefox.exe", "Firefox", {"Firefox", "Mozilla Firefox"}},
    {"iexplore.exe", "Internet Explorer", {"Internet Explorer"}},
    {"brave.exe", "Brave", {"Brave"}},
    {"opera.exe", "Opera", {"Opera", "Opera 浏览器"}},
    {"360se.exe", "360安全浏览器", {"360安全浏览器"}},
    {"360chrome.exe", "360极速浏览器", {"360极速浏览器"}},
    {"QQBrowser.exe", "QQ浏览器", {"QQ浏览器"}},
    {"SogouExplorer.exe", "搜狗浏览器", {"搜狗高速浏览器", "搜狗浏览器"}},
    {"2345Explorer.exe", "2345浏览器", {"2345加速浏览器", "2345浏览器"}},
    {"liebao.exe", "猎豹浏览器", {"猎豹安全浏览器", "猎豹浏览器"}},
};

const KnownBrowser* BrowserByExe(const std::string& exeName) {
  for (const KnownBrowser& b : kKnownBrowsers)
    if (EqualsNoCase(exeName, b.exe)) return &b;
  return nullptr;
}

}  // namespace mt
