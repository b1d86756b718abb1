// Reads back the registry export files the program writes into its backup sets ("注册表.reg",
// app/Backup.h), so that what they hold can be restored item by item through the registry
// API. Only the format the program writes is accepted; anything else is reported with the
// number of the first line that does not fit.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Registry.h"

namespace mt {

// A key as the program names it: root, view and the logical path (no WOW6432Node for the
// 32-bit view), without a leading "\".
struct RegFileKey {
  RegRoot root = RegRoot::CurrentUser;
  RegView view = RegView::Native;
  std::string keyPath;
};

struct RegFileEntry {
  // SetValue: "name"=data; DeleteValue: "name"=-; DeleteKey: [-key];
  // Key: a key header with no lines below it (importing the file creates the key).
  enum class Op { SetValue, DeleteValue, DeleteKey, Key };
  Op op = Op::Key;
  RegRoot root = RegRoot::CurrentUser;
  RegView view = RegView::Native;
  std::string keyPath;  // as RegFileKey::keyPath
  std::string name;     // value name ("" is the default value "@")
  RawRegValue value;    // SetValue only: exact type and bytes
  int line = 0;         // 1-based line of the file where the entry starts
};

// The key name as RegFileKeyName writes it, back into root, view and logical path:
// "HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\X" is (LocalMachine, Wow32, "SOFTWARE\X");
// "HKEY_CLASSES_ROOT\WOW6432Node\CLSID\{..}" is (ClassesRoot, Wow32, "CLSID\{..}"); a
// WOW6432Node that RegFileKeyName would not have written for the 32-bit view stays in the
// path of the native view. RegFileKeyName(result) == name. Empty for an unknown root or a
// name with an empty part.
std::optional<RegFileKey> ParseRegFileKeyName(const std::string& name);

// The entries of an export file, in file order. `bytes`: UTF-16LE with a byte-order mark as
// the program writes it, or UTF-8 with or without one. Throws AppError naming the first bad
// line ("第 N 行：" and the reason).
std::vector<RegFileEntry> ReadRegFile(const std::string& bytes);

}  // namespace mt
