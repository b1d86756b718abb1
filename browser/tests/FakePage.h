// Stand-ins for the browser-repair page in native tests: scripted icons and short paths,
// and the page's controls held in memory.
#pragma once

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "browser/BrowserRepair.h"
#include "browser/IconSource.h"

namespace mt::test {

// Every path has an icon unless listed in `noIcon`; each append gets the next index.
// Short paths come from `shortPaths`; any other path fails to convert (empty).
class ScriptedIcons : public IconSource {
 public:
  struct Call {
    ImageListRef list;
    std::string path;
    uint16_t index;
  };
  int AppendAssociatedIcon(ImageListRef list, const std::string& path, uint16_t index) override {
    calls.push_back({list, path, index});
    if (noIcon.count(path)) return -1;
    return appended++;
  }
  std::string ShortPath(const std::string& path) override {
    auto it = shortPaths.find(path);
    return it == shortPaths.end() ? std::string() : it->second;
  }
  std::vector<Call> calls;
  std::set<std::string> noIcon;
  std::map<std::string, std::string> shortPaths;
  int appended = 0;
};

class MemoryPageView : public RepairPageView {
 public:
  std::string Edpage() override { return edpage; }
  void SetEdpage(const std::string& t) override { edpage = t; }
  std::string Edtitle() override { return edtitle; }
  void SetEdtitle(const std::string& t) override { edtitle = t; }
  bool RbregtoolChecked() override { return rbregtool; }
  void SelectRbregtool() override { rbregtool = true, rbregtooln = false; }
  void SelectRbregtooln() override { rbregtooln = true, rbregtool = false; }
  bool CbsetpageChecked() override { return cbsetpage; }
  void SetCbsetpage(bool c) override { cbsetpage = c; }
  void ClearRows() override { rows.clear(); }
  void AppendRow(const AddOnRow& r) override { rows.push_back({r, false}); }
  int RowCount() override { return static_cast<int>(rows.size()); }
  const AddOnRow& Row(int i) override { return rows.at(i).first; }
  bool RowChecked(int i) override { return rows.at(i).second; }
  void DeleteRow(int i) override { rows.erase(rows.begin() + i); }
  ImageListRef Images() override { return images; }

  // Ticks the row whose caption is `caption` (the first one); false when there is none.
  bool Tick(const std::string& caption) {
    for (auto& r : rows)
      if (r.first.caption == caption) return r.second = true;
    return false;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (auto& r : rows) out.push_back(r.first.caption);
    return out;
  }

  std::string edpage, edtitle;
  bool rbregtool = false, rbregtooln = false, cbsetpage = false;
  std::vector<std::pair<AddOnRow, bool>> rows;
  ImageListRef images = reinterpret_cast<ImageListRef>(0x1234);
};

}  // namespace mt::test
