// One change a tool makes to the system (a registry value deleted, a key tree removed, a
// shortcut rewritten, a task deleted...), as a backup set keeps it. Every kind of change is a
// small module with the same few operations:
// - Save: the state before goes into the set, as the manifest's entry and, where a person can
//   use it by hand, as lines of the set's registry export file or a copy of a file;
// - Observe: the state now, in the form the manifest records "before" and "after" in, so a
//   restore can see whether someone changed it since the action and, afterwards, whether it
//   came back;
// - Restore: the state before written back through the program's own services;
// - Place/Describe: words for the restore window.
// A new kind is one new module and one line in the program's list of kinds (ChangeKinds).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/ChangePlaces.h"
#include "app/Registry.h"
#include "app/Services.h"

namespace mt {

class DeletionBackup;
class SealKeyStore;

// The services a change looks through and writes with. Kinds that need a service the
// environment lacks treat their item as one that cannot be restored here.
struct ChangeEnv {
  RegistryBackend* registry = nullptr;
  FileSystem* files = nullptr;
  TaskStore* tasks = nullptr;
  ServiceControl* serviceControl = nullptr;
  ProcessStarter* processes = nullptr;
  SealKeyStore* sealKeys = nullptr;
  // The folders whose files the tools change; files elsewhere are never restored.
  FilePlaceRoots fileRoots;
  // The folder of the set being read (for copies kept in it); empty while saving.
  std::string setFolder;
};

ChangeEnv ChangeEnvOf(const Services& svc);

class Change {
 public:
  virtual ~Change() = default;
  // The manifest's name of the kind ("registry-value", "file", "scheduled-task"...).
  virtual std::string Kind() const = 0;
  // Machine-wide items (HKLM, all users' folders, the system's files, tasks) are restored
  // only from a sealed set.
  virtual bool MachineWide(const ChangeEnv& env) const = 0;
  // Where the item lives, in the words the restore window shows.
  virtual std::string Place() const = 0;
  // The place as the manifest keeps it (lossless: names also as UTF-16LE hex).
  virtual nlohmann::json PlaceJson() const = 0;
  // The state now. {"absent": true} when the item does not exist.
  virtual nlohmann::json Observe(const ChangeEnv& env) const = 0;
  // Records the state before into the set: what Restore needs (kept in `saved`, may name
  // files of the set) and the by-hand forms. False when the item could not be read whole,
  // which calls the action off.
  virtual bool Save(const ChangeEnv& env, DeletionBackup& set, nlohmann::json& saved) = 0;
  // Writes the state before back. Throws AppError with the reason when it is refused.
  virtual void Restore(const ChangeEnv& env, const nlohmann::json& before,
                       const nlohmann::json& saved) = 0;
  // The data the item will get back, for the confirmation shown before machine-wide writes.
  virtual std::string DescribeState(const nlohmann::json& state) const;
  // Whether the place lies among the places the program's tools change; a set naming any
  // other place is taken as damaged.
  virtual bool PlaceAllowed(const ChangeEnv& env) const = 0;
  // Files only: a file of other bytes stands where the item goes back to and the user chose
  // to keep both; the item goes back beside it under a numbered name, which is returned.
  virtual bool IsFile() const { return false; }
  virtual std::string RestoreBeside(const ChangeEnv& env, const nlohmann::json& before,
                                    const nlohmann::json& saved);
  // A question to ask once the item is back (the drive mapping: map the drive now?), and
  // what a yes does. Empty: none.
  virtual std::string FollowUpQuestion(const nlohmann::json& before) const {
    (void)before;
    return std::string();
  }
  virtual void FollowUp(const ChangeEnv& env, const nlohmann::json& before) const {
    (void)env;
    (void)before;
  }
  // A change of the same kind at the same place with nothing saved yet: what a restore
  // saves before it writes.
  virtual std::unique_ptr<Change> AtSamePlace() const = 0;
  // Two states of this kind that mean the same item (files compare content and attributes,
  // not the copy's name).
  virtual bool SameState(const nlohmann::json& a, const nlohmann::json& b) const { return a == b; }
};

// A kind as the manifest names it, and how to make its change from the entry's place.
// Throws AppError for a place it cannot take.
struct ChangeKind {
  std::string name;
  std::function<std::unique_ptr<Change>(const nlohmann::json& place)> fromPlace;
};

// The kinds the program knows; the program fills it once (program/ChangeKindList.cpp).
class ChangeKinds {
 public:
  void Add(ChangeKind kind) { kinds_.push_back(std::move(kind)); }
  const ChangeKind* Find(const std::string& name) const;
  // The kinds app/ itself provides: registry values, key trees and files.
  static ChangeKinds Basic();

 private:
  std::vector<ChangeKind> kinds_;
};

// ---- helpers of the kinds ------------------------------------------------------------------
inline nlohmann::json AbsentState() { return nlohmann::json{{"absent", true}}; }
inline bool IsAbsent(const nlohmann::json& state) {
  return state.is_object() && state.value("absent", false);
}
// Lower-case hex of bytes, and back (throws AppError on anything that is not hex).
std::string HexOf(const std::string& bytes);
std::string BytesOfHex(const std::string& hex);
// A name kept losslessly: {"text": readable UTF-8, "hex": its UTF-16LE bytes}; read back from
// the hex, which alone is trusted.
nlohmann::json NameJson(const std::string& name);
std::string NameFromJson(const nlohmann::json& j);
const char* RootJsonName(RegRoot root);
RegRoot RootFromJson(const std::string& name);  // throws for an unknown root
const char* ViewJsonName(RegView view);
RegView ViewFromJson(const std::string& name);  // throws for an unknown view

}  // namespace mt
