// Native stand-ins for the browser-repair page: scripted icons and short paths, and the
// page's controls held in memory.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "browser/BrowserRepair.h"

namespace mt::test {

struct MemoryPageView : RepairPageView {
  std::string Edpage() override { return edpage; }
  void SetEdpage(const std::string& t) override { edpage = t; }
  std::string Edtitle() override { return edtitle; }
  void SetEdtitle(const std::string& t) override { edtitle = t; }
  bool RbregtoolChecked() override { return rbregtool; }
  void SelectRbregtool() override { rbregtool = true, rbregtooln = false; }
  void SelectRbregtooln() override { rbregtooln = true, rbregtool = false; }
  bool CbsetpageChecked() override { return cbsetpage; }
  void SetCbsetpage(bool c) override { cbsetpage = c; }
  void BeginUpdate() override { ++held; }
  void EndUpdate() override { --held; }
  void ClearRows() override { rows.clear(), ticks.clear(), changedUnheld += held == 0; }
  void AppendRow(const AddOnRow& r) override {
    rows.push_back(r), ticks.push_back(false), changedUnheld += held == 0;
  }
  int RowCount() override { return static_cast<int>(rows.size()); }
  const AddOnRow& Row(int i) override { return rows.at(i); }
  void SetRowImage(int i, int image) override { rows.at(i).image = image; }
  bool RowChecked(int i) override { return ticks.at(i); }
  void DeleteRow(int i) override {
    rows.erase(rows.begin() + i), ticks.erase(ticks.begin() + i), changedUnheld += held == 0;
  }
  ImageListRef Images() override { return nullptr; }

  std::string edpage, edtitle;
  bool rbregtool = false, rbregtooln = false, cbsetpage = false;
  std::vector<AddOnRow> rows;
  std::vector<bool> ticks;
  // Painting held (BeginUpdate depth) and list changes made while it was not.
  int held = 0, changedUnheld = 0;
};

}  // namespace mt::test
