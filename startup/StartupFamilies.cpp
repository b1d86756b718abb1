#include <algorithm>

#include "startup/ActiveSetupFamily.h"
#include "startup/CommandProcessorFamily.h"
#include "startup/GroupPolicyScriptFamily.h"
#include "startup/ImageHijackFamily.h"
#include "startup/LogonValueFamily.h"
#include "startup/PackagedAppFamily.h"
#include "startup/RunKeyFamily.h"
#include "startup/ServiceFamily.h"
#include "startup/StartupFamily.h"
#include "startup/StartupFolderFamily.h"
#include "startup/TaskFamily.h"

namespace mt {

const std::vector<const StartupFamily*>& StartupFamilies() {
  static const std::vector<const StartupFamily*> families = {
      &RunKeyFamily(),
      &StartupFolderFamily(),
      &TaskFamily(),
      &CommandProcessorFamily(),
      &ImageHijackFamily(),
      &LogonValueFamily(),
      &GroupPolicyScriptFamily(),
      &ActiveSetupFamily(),
      &ServiceFamily(),
      &PackagedAppFamily(),
  };
  return families;
}

const StartupFamily* FamilyOf(StartupSource source) {
  // Asked for every row shown: the families' sources are put in a table once.
  static const std::vector<const StartupFamily*> bySource = [] {
    std::vector<const StartupFamily*> table;
    for (const StartupFamily* family : StartupFamilies())
      for (StartupSource s : family->Sources()) {
        const size_t at = static_cast<size_t>(s);
        if (table.size() <= at) table.resize(at + 1, nullptr);
        table[at] = family;
      }
    return table;
  }();
  const size_t at = static_cast<size_t>(source);
  return at < bySource.size() ? bySource[at] : nullptr;
}

std::vector<StartupSource> ListedSources() {
  std::vector<StartupSource> all;
  for (const StartupFamily* family : StartupFamilies())
    for (StartupSource source : family->Sources()) all.push_back(source);
  std::sort(all.begin(), all.end());
  return all;
}

std::string SourceText(StartupSource source) {
  const StartupFamily* family = FamilyOf(source);
  return family ? family->SourceText(source) : std::string();
}

bool Is32BitSource(StartupSource source) {
  const StartupFamily* family = FamilyOf(source);
  return family && family->Is32Bit(source);
}

bool IsFolderSource(StartupSource source) {
  const StartupFamily* family = FamilyOf(source);
  return family && family->LocationIsFile(source);
}

bool IsMachineSource(StartupSource source) {
  const StartupFamily* family = FamilyOf(source);
  return family && family->MachineWide(source);
}

std::string ShownName(const StartupRow& row) {
  return Is32BitSource(row.source) ? row.name + kRun32Mark : row.name;
}

std::string NameFromShown(const std::string& shown, StartupSource source) {
  const std::string mark = kRun32Mark;
  if (Is32BitSource(source) && shown.size() >= mark.size() &&
      shown.compare(shown.size() - mark.size(), mark.size(), mark) == 0)
    return shown.substr(0, shown.size() - mark.size());
  return shown;
}

}  // namespace mt
