// Backup sets with their manifests on the stand-ins: every kind written and read back, restore
// in both views, the check of what changed since, the restore of a restore, and the sets that
// must restore nothing (forged, damaged, naming places the tools never change).
#include <gtest/gtest.h>

#include <map>

#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/ChangeFile.h"
#include "app/ChangeRegistry.h"
#include "app/HostsPath.h"
#include "app/Restore.h"
#include "app/SetSeal.h"
#include "app/Text.h"
#include "program/ChangeKindList.h"
#include "tests/support/StandIns.h"

namespace mt::test {
namespace {

constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kDesktop = "C:\\Users\\u\\Desktop";
constexpr const char* kPublicDesktop = "C:\\Users\\Public\\Desktop";

// Answers the restore's questions from a script and records what was asked.
class ScriptedQuestions : public RestoreQuestions {
 public:
  bool ConfirmChanged(const SetItem& item, const std::string&) override {
    changedAsked.push_back(item.caption);
    return confirmChanged;
  }
  FileChoice FileConflict(const SetItem& item) override {
    conflictAsked.push_back(item.caption);
    return fileChoice;
  }
  bool ConfirmMachineWide(const std::vector<const SetItem*>& items,
                          const std::vector<std::string>& data) override {
    machineAsked += items.size();
    machineData = data;
    return confirmMachine;
  }
  bool AskFollowUp(const std::string& question) override {
    followUps.push_back(question);
    return false;
  }
  bool confirmChanged = true, confirmMachine = true;
  FileChoice fileChoice = FileChoice::Overwrite;
  std::vector<std::string> changedAsked, conflictAsked, followUps;
  std::vector<std::string> machineData;
  size_t machineAsked = 0;
};

// The in-memory registry, counting how often each value name is read.
class CountingRegistry : public MemoryRegistry {
 public:
  std::optional<RawRegValue> QueryRaw(const RegKey& key, const std::string& name) override {
    ++reads[name];
    return MemoryRegistry::QueryRaw(key, name);
  }
  std::unique_ptr<RegKey> Open(RegRoot root, const RegKey* parent, const std::string& subPath,
                               bool create, RegView view = RegView::Native) override {
    ++opens;
    return MemoryRegistry::Open(root, parent, subPath, create, view);
  }
  std::map<std::string, int> reads;
  int opens = 0;
};

class RestoreTest : public ::testing::Test {
 protected:
  RestoreTest() {
    env.registry = &reg;
    env.files = &files;
    env.sealKeys = &keys;
    env.fileRoots.userFolders = {kDesktop};
    env.fileRoots.machineFolders = {kPublicDesktop, "C:\\Tools"};
    files.dirs.insert("C:\\Users");
    files.dirs.insert("C:\\Users\\u");
    files.dirs.insert(kDesktop);
    files.dirs.insert("C:\\Users\\Public");
    files.dirs.insert(kPublicDesktop);
  }

  std::vector<BackupSetInfo> Sets() {
    std::vector<BackupSetInfo> sets;
    for (const std::string& folder : BackupSetFolders(files, "C:\\Tools"))
      sets.push_back(ReadBackupSet(env, ProgramChangeKinds(), folder));
    return sets;
  }

  BackupSetInfo SetAt(const std::string& folder) {
    return ReadBackupSet(env, ProgramChangeKinds(), folder);
  }

  RestoreReport RestoreAll(const BackupSetInfo& set) {
    std::vector<size_t> all;
    for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);
    return RestoreItems(env, "C:\\Tools", set, all, ask);
  }

  // Deletes the HKLM Run value "A" (both views), the HKCU key tree and the two shortcuts of one
  // name on two desktops, as the tools do: saved, deleted, sealed.
  std::string DeleteEverything(const std::string& stamp) {
    DeletionBackup set(env, "C:\\Tools", "startup");
    set.SetCaption("A  a.exe");
    set.SaveValue(RegRoot::LocalMachine, RegView::Native, kRun, "A");
    set.SaveValue(RegRoot::LocalMachine, RegView::Wow32, kRun, "A");
    set.SetCaption("Tree");
    set.SaveKey(RegRoot::CurrentUser, RegView::Native, "Software\\Policies\\X");
    set.SetCaption("Mail");
    set.SaveFile(std::string(kDesktop) + "\\Mail.lnk", "shortcut");
    set.SaveFile(std::string(kPublicDesktop) + "\\Mail.lnk", "shortcut");
    EXPECT_TRUE(set.Write(stamp));
    reg.DeleteTree(RegRoot::CurrentUser, nullptr, "Software\\Policies\\X");
    for (RegView v : {RegView::Native, RegView::Wow32}) {
      auto key = reg.Open(RegRoot::LocalMachine, nullptr, kRun, false, v);
      reg.DeleteValue(*key, "A");
    }
    files.RemoveFile(std::string(kDesktop) + "\\Mail.lnk");
    files.RemoveFile(std::string(kPublicDesktop) + "\\Mail.lnk");
    EXPECT_TRUE(set.Seal());
    return set.Folder();
  }

  void Populate() {
    reg.SetString(RegRoot::LocalMachine, kRun, "A", "a.exe");
    reg.SetString(RegRoot::LocalMachine, kRun, "A", "a32.exe", RegView::Wow32);
    reg.SetDword(RegRoot::CurrentUser, "Software\\Policies\\X", "n", 7);
    reg.SetBinary(RegRoot::CurrentUser, "Software\\Policies\\X\\Sub", "", std::string("\0\1", 2));
    files.files[std::string(kDesktop) + "\\Mail.lnk"] = "user shortcut";
    files.files[std::string(kPublicDesktop) + "\\Mail.lnk"] = "public shortcut";
  }

  CountingRegistry reg;
  MemoryFileSystem files;
  MemorySealKeys keys;
  ChangeEnv env;
  ScriptedQuestions ask;
};

TEST_F(RestoreTest, EveryItemComesBackExactlyAndTheManifestRecordsItsPlaceAndCaption) {
  Populate();
  DeleteEverything("2026-12-09 10.00.00");
  std::vector<BackupSetInfo> sets = Sets();
  ASSERT_EQ(sets.size(), 1u);
  const BackupSetInfo& set = sets[0];
  EXPECT_TRUE(set.damage.empty()) << set.damage;
  EXPECT_TRUE(set.sealed);
  EXPECT_EQ(set.tool, "startup");
  ASSERT_EQ(set.items.size(), 5u);
  EXPECT_EQ(set.items[0].kind, "registry-value");
  EXPECT_EQ(set.items[0].caption, "A  a.exe");
  EXPECT_EQ(set.items[2].kind, "registry-tree");
  EXPECT_EQ(set.items[3].kind, "shortcut");
  // Two shortcuts of one name: each knows its own desktop.
  EXPECT_EQ(set.items[3].change->Place(), std::string(kDesktop) + "\\Mail.lnk");
  EXPECT_EQ(set.items[4].change->Place(), std::string(kPublicDesktop) + "\\Mail.lnk");
  // The by-hand forms are still there.
  EXPECT_TRUE(files.FileExists(set.folder + "\\" + kBackupRegFileName));

  const RestoreReport report = RestoreAll(set);
  EXPECT_TRUE(report.refused.empty()) << report.refused;
  ASSERT_EQ(report.items.size(), 5u);
  for (const RestoreOutcome& o : report.items) EXPECT_TRUE(o.back) << o.caption << o.reason;
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A")->text, "a.exe");
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A", RegView::Wow32)->text, "a32.exe");
  EXPECT_EQ(reg.Get(RegRoot::CurrentUser, "Software\\Policies\\X", "n")->dword, 7u);
  EXPECT_EQ(reg.Get(RegRoot::CurrentUser, "Software\\Policies\\X\\Sub", "")->bytes,
            std::string("\0\1", 2));
  EXPECT_EQ(files.files[std::string(kDesktop) + "\\Mail.lnk"], "user shortcut");
  EXPECT_EQ(files.files[std::string(kPublicDesktop) + "\\Mail.lnk"], "public shortcut");
  // The machine-wide items were shown with their data before they were written.
  EXPECT_EQ(ask.machineAsked, 3u);
  ASSERT_FALSE(ask.machineData.empty());
  EXPECT_NE(ask.machineData[0].find("a.exe"), std::string::npos);
  EXPECT_TRUE(ask.changedAsked.empty());
  EXPECT_NE(report.Text().find(kBackedUpLine), std::string::npos);
}

TEST_F(RestoreTest, ARestoreSavesWhatItOverwritesSoItCanBeUndoneInTurn) {
  Populate();
  DeleteEverything("2026-12-09 10.00.00");
  RestoreAll(Sets()[0]);
  std::vector<BackupSetInfo> sets = Sets();
  ASSERT_EQ(sets.size(), 2u);
  // Newest first: the restore's own set, which names the set it restored.
  EXPECT_EQ(sets[0].restoreOf, "2026-12-09 10.00.00");
  EXPECT_EQ(sets[0].items.size(), 5u);
  // It records as the state the restore left what the restore read back, so restoring it
  // asks nothing: nobody changed anything since.
  const BackupSetInfo original = SetAt(sets[1].folder);
  ASSERT_EQ(original.items.size(), 5u);
  for (size_t i = 0; i < 5; ++i)
    EXPECT_TRUE(
        sets[0].items[i].change->SameState(sets[0].items[i].after, original.items[i].before))
        << i << ": " << sets[0].items[i].after.dump();
  RestoreAll(sets[0]);
  EXPECT_TRUE(ask.changedAsked.empty());
  EXPECT_TRUE(ask.conflictAsked.empty());
  // Back to what the deletion left.
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A"));
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A", RegView::Wow32));
  EXPECT_FALSE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies\\X"));
  EXPECT_FALSE(files.FileExists(std::string(kDesktop) + "\\Mail.lnk"));
}

TEST_F(RestoreTest, EachValueIsReadOnceToSaveItAndThriceToRestoreIt) {
  Populate();
  reg.reads.clear();
  DeletionBackup set(env, "C:\\Tools", "startup");
  set.SaveValue(RegRoot::LocalMachine, RegView::Native, kRun, "A");
  EXPECT_EQ(reg.reads["A"], 1);
  EXPECT_TRUE(set.Write("2026-12-09 10.00.00"));
  auto key = reg.Open(RegRoot::LocalMachine, nullptr, kRun, false);
  reg.DeleteValue(*key, "A");
  EXPECT_TRUE(set.Seal());
  reg.reads.clear();
  // Before the write (has it changed since?), for the restore's own set, and read back after
  // it; the restore's own set takes what was read back as the state the restore left.
  const RestoreReport report = RestoreAll(SetAt(set.Folder()));
  ASSERT_EQ(report.items.size(), 1u);
  EXPECT_TRUE(report.items[0].back) << report.Text();
  EXPECT_EQ(reg.reads["A"], 3);
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A")->text, "a.exe");
}

TEST_F(RestoreTest, ARestoreWhoseOwnSetCannotBeSavedWritesNothingAndSaysSo) {
  Populate();
  const std::string folder = DeleteEverything("2026-12-09 10.00.00");
  const BackupSetInfo set = SetAt(folder);
  files.failWrite = true;
  const RestoreReport report = RestoreAll(set);
  files.failWrite = false;
  EXPECT_EQ(report.Text(), kRestoreBackupFailedText);
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A"));
  EXPECT_FALSE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies\\X"));
  EXPECT_FALSE(files.FileExists(std::string(kDesktop) + "\\Mail.lnk"));
}

TEST_F(RestoreTest, ValuesOfOneKeyAreRestoredThroughOneOpeningOfIt) {
  const std::vector<std::string> names = {"A", "B", "C", "D"};
  for (const std::string& name : names) reg.SetString(RegRoot::LocalMachine, kRun, name, name);
  DeletionBackup set(env, "C:\\Tools", "startup");
  for (const std::string& name : names)
    set.SaveValue(RegRoot::LocalMachine, RegView::Native, kRun, name);
  ASSERT_TRUE(set.Write("2026-12-09 10.00.00"));
  auto key = reg.Open(RegRoot::LocalMachine, nullptr, kRun, false, RegView::Native);
  for (const std::string& name : names) reg.DeleteValue(*key, name);
  key.reset();
  ASSERT_TRUE(set.Seal());
  const BackupSetInfo info = SetAt(set.Folder());
  reg.opens = 0;
  const RestoreReport report = RestoreAll(info);
  EXPECT_EQ(report.Text().find("未恢复"), std::string::npos) << report.Text();
  EXPECT_EQ(reg.opens, 1);
  for (const std::string& name : names)
    EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, name)->text, name);
}

TEST_F(RestoreTest, AnItemChangedSinceIsRestoredOnlyWhenTheUserSaysSo) {
  Populate();
  DeleteEverything("2026-12-09 10.00.00");
  reg.SetString(RegRoot::LocalMachine, kRun, "A", "someone-else.exe");
  ask.confirmChanged = false;
  RestoreReport report = RestoreAll(Sets()[0]);
  EXPECT_EQ(ask.changedAsked, std::vector<std::string>{"A  a.exe"});
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A")->text, "someone-else.exe");
  EXPECT_FALSE(report.items[0].back);
  // The others came back all the same.
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A", RegView::Wow32)->text, "a32.exe");

  ask.confirmChanged = true;
  const BackupSetInfo original = std::move(Sets()[1]);
  std::vector<size_t> first{0};
  report = RestoreItems(env, "C:\\Tools", original, first, ask);
  EXPECT_TRUE(report.items[0].back);
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A")->text, "a.exe");
}

TEST_F(RestoreTest, AFileOfOtherBytesAtThePlaceIsNeverSilentlyOverwritten) {
  Populate();
  DeleteEverything("2026-12-09 10.00.00");
  const std::string user = std::string(kDesktop) + "\\Mail.lnk";
  files.files[user] = "a new shortcut";
  const BackupSetInfo set = std::move(Sets()[0]);
  std::vector<size_t> shortcut{3};

  ask.fileChoice = RestoreQuestions::FileChoice::Skip;
  RestoreItems(env, "C:\\Tools", set, shortcut, ask);
  EXPECT_EQ(files.files[user], "a new shortcut");
  ask.fileChoice = RestoreQuestions::FileChoice::KeepBoth;
  RestoreReport report = RestoreItems(env, "C:\\Tools", set, shortcut, ask);
  EXPECT_EQ(files.files[user], "a new shortcut");
  EXPECT_EQ(files.files[std::string(kDesktop) + "\\Mail (2).lnk"], "user shortcut");
  EXPECT_TRUE(report.items[0].back);
  ask.fileChoice = RestoreQuestions::FileChoice::Overwrite;
  RestoreItems(env, "C:\\Tools", set, shortcut, ask);
  EXPECT_EQ(files.files[user], "user shortcut");
  EXPECT_EQ(ask.conflictAsked.size(), 3u);
}

TEST_F(RestoreTest, WithoutAValidSealOnlyTheUsersOwnItemsComeBack) {
  Populate();
  const std::string folder = DeleteEverything("2026-12-09 10.00.00");
  // A standard user cannot read the secret: the set reads as unsealed.
  keys.refused = true;
  BackupSetInfo set = std::move(Sets()[0]);
  EXPECT_FALSE(set.sealed);
  RestoreReport report = RestoreAll(set);
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A"));
  EXPECT_FALSE(files.FileExists(std::string(kPublicDesktop) + "\\Mail.lnk"));
  EXPECT_TRUE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies\\X"));
  EXPECT_EQ(files.files[std::string(kDesktop) + "\\Mail.lnk"], "user shortcut");
  EXPECT_FALSE(report.items[0].back);
  EXPECT_FALSE(report.items[0].reason.empty());
}

TEST_F(RestoreTest, AForgedOrAlteredSetRestoresNothingMachineWide) {
  Populate();
  const std::string folder = DeleteEverything("2026-12-09 10.00.00");
  const std::string manifestPath = folder + "\\" + kBackupManifestName;
  const std::string written = files.files[manifestPath];
  nlohmann::json manifest = nlohmann::json::parse(written);

  // A forged item that adds an HKLM Run value, the seal left as it was.
  nlohmann::json forged = manifest["items"][0];
  forged["place"]["name"] = NameJson("Evil");
  forged["before"] = {{"type", 1}, {"data", HexOf(Utf16Le("evil.exe") + std::string(2, '\0'))}};
  forged["after"] = AbsentState();
  manifest["items"].push_back(forged);
  files.files[manifestPath] = manifest.dump();
  BackupSetInfo set = SetAt(folder);
  EXPECT_FALSE(set.sealed);
  // The same forgery laid out as the program writes a sealed manifest, with the old seal.
  nlohmann::json unsealed = manifest;
  unsealed.erase("mac");
  files.files[manifestPath] = SealedFileText(unsealed.dump(1), manifest["mac"].get<std::string>());
  ASSERT_TRUE(SplitSealedFile(files.files[manifestPath]));
  EXPECT_FALSE(SetAt(folder).sealed);
  RestoreAll(set);
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "Evil"));
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A"));

  // The manifest untouched but a copy of the set altered: the seal no longer holds, and the
  // altered copy is not written even where the user's own items may be restored.
  files.files[manifestPath] = written;
  ASSERT_TRUE(SetAt(folder).sealed);
  std::string copy = SetAt(folder).items[3].saved["copy"].get<std::string>();
  files.files[folder + "\\" + copy] = "altered";
  set = SetAt(folder);
  EXPECT_FALSE(set.sealed);
  // The first restore brought back the user's own items; take the shortcut away again.
  files.RemoveFile(std::string(kDesktop) + "\\Mail.lnk");
  RestoreReport report = RestoreAll(set);
  EXPECT_FALSE(files.FileExists(std::string(kDesktop) + "\\Mail.lnk"));
  EXPECT_FALSE(report.items[3].back);
}

TEST_F(RestoreTest, TheSealCoversTheManifestAsWrittenAndSetsSealedTheEarlierWayStillHold) {
  Populate();
  const std::string folder = DeleteEverything("2026-12-09 10.00.00");
  const std::string path = folder + "\\" + kBackupManifestName;
  const std::string written = files.files[path];
  ASSERT_TRUE(SplitSealedFile(written));
  ASSERT_TRUE(SetAt(folder).sealed);

  // One byte of the text changed, the layout kept: the seal no longer holds.
  std::string altered = written;
  const size_t at = altered.find("\"Tree\"");
  ASSERT_NE(at, std::string::npos);
  altered[at + 4] = 'x';
  files.files[path] = altered;
  EXPECT_FALSE(SetAt(folder).sealed);

  // Sealed as the first sets were: over the compact dump, "mac" among the other members.
  nlohmann::json manifest = nlohmann::json::parse(written);
  manifest.erase("mac");
  manifest["mac"] = HmacSha256Hex(*keys.Key(false), SealedText(manifest));
  files.files[path] = manifest.dump(1);
  EXPECT_FALSE(SplitSealedFile(files.files[path]));
  EXPECT_TRUE(SetAt(folder).sealed);
  manifest["items"][0]["caption"] = "changed";
  files.files[path] = manifest.dump(1);
  EXPECT_FALSE(SetAt(folder).sealed);
}

TEST_F(RestoreTest, ASealLeftForLaterIsCheckedWhenTheSetIsRestored) {
  Populate();
  const std::string folder = DeleteEverything("2026-12-09 10.00.00");
  BackupSetInfo listed = ReadBackupSet(env, ProgramChangeKinds(), folder, SealCheck::Later);
  EXPECT_FALSE(listed.sealed);
  ASSERT_TRUE(listed.sealToCheck);
  EXPECT_TRUE(SealHolds(env, listed));

  // A copy of the set altered after the listing: the restore checks the seal itself and puts
  // back only the user's own items.
  const std::string copy = listed.items[3].saved["copy"].get<std::string>();
  const std::string original = files.files[folder + "\\" + copy];
  files.files[folder + "\\" + copy] = "altered";
  RestoreReport report = RestoreAll(listed);
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A"));
  EXPECT_TRUE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies\\X"));
  EXPECT_FALSE(report.items[0].back);

  // Checked once the set is shown, the answer is kept; a sound set restores everything.
  files.files[folder + "\\" + copy] = original;
  CheckSeal(env, listed);
  EXPECT_TRUE(listed.sealed);
  EXPECT_FALSE(listed.sealToCheck);
  RestoreAll(listed);
  ASSERT_TRUE(reg.Get(RegRoot::LocalMachine, kRun, "A"));
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A")->text, "a.exe");

  // A folder inside a set damages it whenever its seal is checked: read at once, shown, or
  // restored; nothing of it comes back.
  files.dirs.insert(folder + "\\extra");
  EXPECT_NE(ReadBackupSet(env, ProgramChangeKinds(), folder).damage, "");
  BackupSetInfo later = ReadBackupSet(env, ProgramChangeKinds(), folder, SealCheck::Later);
  reg.DeleteTree(RegRoot::CurrentUser, nullptr, "Software\\Policies\\X");
  EXPECT_NE(RestoreAll(later).refused, "");
  EXPECT_FALSE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies\\X"));
  CheckSeal(env, later);
  EXPECT_NE(later.damage, "");
  EXPECT_TRUE(later.items.empty());
}

TEST_F(RestoreTest, ASetNamingAPlaceTheToolsNeverChangeIsDamagedAndOthersStillList) {
  Populate();
  DeleteEverything("2026-12-09 10.00.00");
  const std::string good = DeleteEverything("2026-12-09 11.00.00");
  (void)good;
  const std::vector<std::string> folders = BackupSetFolders(files, "C:\\Tools");
  ASSERT_EQ(folders.size(), 2u);
  const std::string manifestPath = folders[1] + "\\" + kBackupManifestName;
  const nlohmann::json manifest = nlohmann::json::parse(files.files[manifestPath]);
  auto damagedWith = [&](const std::function<void(nlohmann::json&)>& edit) {
    nlohmann::json m = manifest;
    edit(m);
    files.files[manifestPath] = m.dump();
    std::vector<BackupSetInfo> sets = Sets();
    EXPECT_EQ(sets.size(), 2u);
    EXPECT_TRUE(sets[0].damage.empty());  // the other set lists as before
    const BackupSetInfo& bad = sets[1];
    EXPECT_TRUE(bad.items.empty());
    EXPECT_EQ(RestoreAll(bad).items.size(), 0u);
    return bad.damage;
  };
  // A registry key outside the places the tools change.
  std::string why = damagedWith([](nlohmann::json& m) {
    m["items"][0]["place"]["key"] = NameJson("SOFTWARE\\Classes\\exefile\\shell\\open\\command");
  });
  EXPECT_NE(why.find(kDamagedSetText), std::string::npos);
  EXPECT_NE(why.find("第 1 项"), std::string::npos);
  // A file that climbs out of the desktop.
  why = damagedWith([](nlohmann::json& m) {
    m["items"][3]["place"]["path"] = NameJson("C:\\Users\\u\\Desktop\\..\\..\\Windows\\x.exe");
  });
  EXPECT_NE(why.find("第 4 项"), std::string::npos);
  // A root the tools never touch, a kind nobody knows, and text that is no JSON at all.
  damagedWith([](nlohmann::json& m) { m["items"][0]["place"]["root"] = "HKEY_USERS"; });
  damagedWith([](nlohmann::json& m) { m["items"][0]["kind"] = "service"; });
  files.files[manifestPath] = "{not json";
  EXPECT_FALSE(Sets()[1].damage.empty());
}

TEST_F(RestoreTest, AnOverwriteIsTakenBackByRemovingWhatTheActionAdded) {
  reg.CreatePath(RegRoot::CurrentUser, "Software\\Policies");
  DeletionBackup set(env, "C:\\Tools", "browser");
  // The value's key is missing: the outermost missing key is what the action adds.
  set.SaveOverwrite(RegRoot::CurrentUser, RegView::Native,
                    "\\Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel",
                    "HomePage");
  reg.CreatePath(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Internet Explorer\\Main");
  set.SaveOverwrite(RegRoot::LocalMachine, RegView::Native,
                    "SOFTWARE\\Microsoft\\Internet Explorer\\Main", "Start Page");
  ASSERT_TRUE(set.Write("2026-12-09 10.00.00"));
  reg.SetDword(RegRoot::CurrentUser,
               "Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", "HomePage", 1);
  reg.SetString(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Internet Explorer\\Main", "Start Page",
                "about:blank");
  set.Seal();
  for (const RestoreOutcome& o : RestoreAll(Sets()[0]).items) EXPECT_TRUE(o.back) << o.reason;
  EXPECT_FALSE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies\\Microsoft"));
  EXPECT_TRUE(reg.HasKey(RegRoot::CurrentUser, "Software\\Policies"));
  EXPECT_FALSE(
      reg.Get(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Internet Explorer\\Main", "Start Page"));
}

TEST_F(RestoreTest, ASetOfAnEarlierVersionRestoresItsRegistryItemsAfterTheUserSawThem) {
  Populate();
  const std::string folder = DeleteEverything("2026-12-09 10.00.00");
  // Earlier versions wrote no manifest.
  files.RemoveFile(folder + "\\" + kBackupManifestName);
  BackupSetInfo set = SetAt(folder);
  EXPECT_TRUE(set.legacy);
  EXPECT_TRUE(set.damage.empty()) << set.damage;
  // The two Run values and the tree's two keys, each value an item; the copies unplaced.
  ASSERT_EQ(set.items.size(), 4u);
  EXPECT_EQ(set.unplacedFiles.size(), 2u);
  ask.confirmMachine = false;
  RestoreAll(set);
  EXPECT_FALSE(reg.Get(RegRoot::LocalMachine, kRun, "A"));
  EXPECT_EQ(reg.Get(RegRoot::CurrentUser, "Software\\Policies\\X", "n")->dword, 7u);
  ask.confirmMachine = true;
  RestoreAll(SetAt(folder));
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A")->text, "a.exe");
  EXPECT_EQ(reg.Get(RegRoot::LocalMachine, kRun, "A", RegView::Wow32)->text, "a32.exe");

  // A line naming a key the tools never change damages the whole set, naming the line.
  RegFileText text;
  text.AddKey("HKEY_CURRENT_USER\\Software\\Policies\\X", {{"n", RegValue{}}});
  text.AddKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\exefile", {{"", RegValue{}}});
  files.files[folder + "\\" + kBackupRegFileName] = text.Bytes();
  set = SetAt(folder);
  EXPECT_TRUE(set.items.empty());
  EXPECT_NE(set.damage.find("第 7 行"), std::string::npos) << set.damage;
}

TEST(DeletionBackupOverwrite, ARefusedKeyOfAnotherLetterCaseKeepsTheSetEmpty) {
  CountingRegistry reg;
  MemoryFileSystem files;
  reg.CreatePath(RegRoot::CurrentUser, "Software\\Microsoft\\Internet Explorer\\Main");
  reg.Deny(RegRoot::CurrentUser, "Software\\Microsoft\\Internet Explorer");
  DeletionBackup set(reg, files, "C:\\Tools");
  // The key exists but cannot be opened: deleting "Internet explorer" on import would take
  // away a key that is there.
  set.SaveOverwrite(RegRoot::CurrentUser, RegView::Native,
                    "Software\\Microsoft\\Internet explorer\\Main", "Start Page");
  EXPECT_TRUE(set.Empty());
}

TEST(DeletionBackupOverwrite, ValuesBelowOneMissingKeyShareItsOneRecord) {
  CountingRegistry reg;
  MemoryFileSystem files;
  reg.CreatePath(RegRoot::LocalMachine, "Software\\Microsoft");
  reg.CreatePath(RegRoot::LocalMachine, "Software\\WOW6432Node\\Microsoft");
  DeletionBackup set(reg, files, "C:\\Tools");
  for (const char* name : {"Window Title", "Start Page"})
    set.SaveOverwrite(RegRoot::LocalMachine, RegView::Native,
                      "Software\\Microsoft\\Internet explorer\\Main", name);
  // Another view's key of the same path is a place of its own.
  set.SaveOverwrite(RegRoot::LocalMachine, RegView::Wow32,
                    "Software\\Microsoft\\Internet explorer\\Main", "Start Page");
  EXPECT_EQ(set.Count(), 2u);
}

TEST(DeletionBackupOverwrite, AMissingDefaultValueIsDeletedAsAtOnImport) {
  CountingRegistry reg;
  MemoryFileSystem files;
  reg.CreatePath(RegRoot::CurrentUser, "Software\\Policies\\K");
  DeletionBackup set(reg, files, "C:\\Tools");
  set.SaveOverwrite(RegRoot::CurrentUser, RegView::Native, "Software\\Policies\\K", "");
  ASSERT_TRUE(set.Write("s"));
  const std::string bytes = files.files[set.Folder() + "\\" + kBackupRegFileName];
  const std::string text = FromUtf16Le(bytes.substr(2));
  EXPECT_NE(text.find("\r\n@=-\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("\"\"=-"), std::string::npos);
}

TEST(SetSeal, HmacMatchesTheStandardVectorsAndComparesWholeTexts) {
  // RFC 4231, test case 2.
  EXPECT_EQ(HmacSha256Hex("Jefe", "what do ya want for nothing?"),
            "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
  // A key longer than the block is hashed first (RFC 4231, test case 6).
  EXPECT_EQ(HmacSha256Hex(std::string(131, '\xaa'),
                          "Test Using Larger Than Block-Size Key - Hash Key First"),
            "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
  EXPECT_TRUE(SameMac("abc", "abc"));
  EXPECT_FALSE(SameMac("abc", "abd"));
  EXPECT_FALSE(SameMac("abc", "ab"));
}

TEST(ChangePlaces, OnlyThePlacesTheToolsChangePass) {
  EXPECT_TRUE(RegistryPlaceAllowed(RegRoot::LocalMachine, kRun));
  EXPECT_TRUE(RegistryPlaceAllowed(
      RegRoot::LocalMachine, "software\\WOW6432Node\\microsoft\\windows\\currentversion\\run"));
  EXPECT_TRUE(RegistryPlaceAllowed(RegRoot::CurrentUser, "Software\\Policies\\Google\\Chrome"));
  EXPECT_TRUE(RegistryPlaceAllowed(RegRoot::LocalMachine,
                                   "SOFTWARE\\WOW6432Node\\Google\\Chrome\\Extensions\\abc"));
  EXPECT_TRUE(
      RegistryPlaceAllowed(RegRoot::CurrentUser, "Software\\Microsoft\\Edge\\Extensions\\x"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::CurrentUser, "Software\\Google\\Chrome"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::LocalMachine, "SOFTWARE\\Classes\\exefile"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::LocalMachine, "SYSTEM\\CurrentControlSet"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::ClassesRoot, "CLSID"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::LocalMachine, "SOFTWARE\\Policies\\..\\Classes"));
  // A prefix must end at a key boundary.
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::LocalMachine,
                                    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunX"));
  // Of the user's environment only the logon script, and never the key as a whole.
  EXPECT_TRUE(
      RegistryValuePlaceAllowed(RegRoot::CurrentUser, "environment", "userinitmprlogonscript"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::CurrentUser, "Environment", "Path"));
  EXPECT_FALSE(
      RegistryValuePlaceAllowed(RegRoot::LocalMachine, "Environment", "UserInitMprLogonScript"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::CurrentUser, "Environment"));
  EXPECT_TRUE(RegistryValuePlaceAllowed(RegRoot::LocalMachine, kRun, "any"));
  // The terminal server's copies of the Run keys, not the rest of its key.
  EXPECT_TRUE(RegistryPlaceAllowed(
      RegRoot::LocalMachine,
      "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server\\Install\\Software\\"
      "Microsoft\\Windows\\CurrentVersion\\RunOnceEx\\0001"));
  EXPECT_FALSE(RegistryPlaceAllowed(
      RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Terminal Server"));

  // Of a service's key only its start type values, never the key itself or its other values.
  const std::string svc = "SYSTEM\\CurrentControlSet\\Services\\Spooler";
  EXPECT_TRUE(RegistryValuePlaceAllowed(RegRoot::LocalMachine, svc, "Start"));
  EXPECT_TRUE(RegistryValuePlaceAllowed(RegRoot::LocalMachine,
                                        "system\\currentcontrolset\\"
                                        "services\\a b",
                                        "delayedautostart"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::LocalMachine, svc, "ImagePath"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::LocalMachine, svc, "Type"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::LocalMachine, svc + "\\Parameters", "Start"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::LocalMachine,
                                         "SYSTEM\\CurrentControlSet\\Services", "Start"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::LocalMachine,
                                         "SYSTEM\\ControlSet001\\Services\\Spooler", "Start"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::LocalMachine,
                                         "SYSTEM\\CurrentControlSet\\Services\\..", "Start"));
  EXPECT_FALSE(RegistryValuePlaceAllowed(RegRoot::CurrentUser, svc, "Start"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::LocalMachine, svc));
  // Every value of an allowed key passes as before.
  EXPECT_TRUE(RegistryValuePlaceAllowed(RegRoot::LocalMachine, kRun, "Anything"));
  EXPECT_TRUE(RegistryValuePlaceAllowed(RegRoot::LocalMachine,
                                        "SOFTWARE\\MRTKBOX\\DisabledServices", "Spooler"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::LocalMachine, "SOFTWARE\\MRTKBOX"));

  FilePlaceRoots roots;
  roots.userFolders = {kDesktop};
  roots.distributionParents = {"C:\\Program Files"};
  EXPECT_TRUE(FilePlaceAllowed(roots, std::string(kDesktop) + "\\a.lnk"));
  EXPECT_TRUE(FilePlaceAllowed(roots, "c:\\users\\u\\desktop\\sub\\a.lnk"));
  EXPECT_FALSE(FilePlaceAllowed(roots, std::string(kDesktop) + "\\..\\a.lnk"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Users\\u\\DesktopX\\a.lnk"));
  EXPECT_FALSE(FilePlaceAllowed(roots, std::string(kDesktop) + "\\a.lnk:stream"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "Desktop\\a.lnk"));
  EXPECT_TRUE(
      FilePlaceAllowed(roots, "C:\\Program Files\\Mozilla Firefox\\distribution\\policies.json"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Program Files\\Mozilla Firefox\\firefox.exe"));
  // Firefox's default settings: a file directly in "defaults\pref", nothing beside or below.
  EXPECT_TRUE(
      FilePlaceAllowed(roots, "C:\\Program Files\\Mozilla Firefox\\defaults\\pref\\autoconfig.js"));
  EXPECT_FALSE(
      FilePlaceAllowed(roots, "C:\\Program Files\\Mozilla Firefox\\defaults\\autoconfig.js"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Program Files\\Mozilla Firefox\\pref\\a.js"));
  EXPECT_FALSE(
      FilePlaceAllowed(roots, "C:\\Program Files\\Mozilla Firefox\\defaults\\pref\\sub\\a.js"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Windows\\defaults\\pref\\a.js"));
  // A single file of the system is that file only, not its folder or a neighbour.
  roots.machineFiles = {"C:\\Windows\\System32\\drivers\\etc\\hosts"};
  EXPECT_TRUE(FilePlaceAllowed(roots, "c:\\windows\\system32\\DRIVERS\\etc\\HOSTS"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Windows\\System32\\drivers\\etc\\services"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Windows\\System32\\drivers\\etc\\hosts\\x"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Windows\\System32\\drivers\\etc\\hosts:ads"));
  EXPECT_FALSE(FilePlaceAllowed(roots, "C:\\Windows\\System32\\drivers\\etc\\..\\etc\\hosts"));
  // The user's proxy settings are a place; the rest of the user's Internet settings key's
  // neighbours are not.
  EXPECT_TRUE(RegistryPlaceAllowed(
      RegRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"));
  EXPECT_FALSE(RegistryPlaceAllowed(RegRoot::CurrentUser,
                                    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet"));
}

TEST(HostsPath, TheSystemsFolderOrTheOneDataBasePathNamesWithItsVariablesExpanded) {
  auto env = [](const std::string& name) -> std::optional<std::string> {
    if (EqualsNoCase(name, "SystemRoot")) return std::string("C:\\Windows");
    if (name == "Empty") return std::string();
    return std::nullopt;
  };
  EXPECT_EQ(ExpandEnvironmentText("%systemroot%\\a %NOTSET% 100% %Empty%|", env),
            "C:\\Windows\\a %NOTSET% 100% |");
  EXPECT_EQ(ExpandEnvironmentText("%%SystemRoot%%", env), "%C:\\Windows%");
  EXPECT_EQ(ExpandEnvironmentText("50%", env), "50%");
  EXPECT_EQ(ExpandEnvironmentText("%SystemRoot%", nullptr), "%SystemRoot%");

  MemoryRegistry reg;
  EXPECT_EQ(HostsFilePath(reg, env), "C:\\Windows\\System32\\drivers\\etc\\hosts");
  EXPECT_EQ(HostsFilePath(reg, nullptr), "");
  RegValue v;
  v.type = RegDataType::ExpandString;
  v.text = "%SystemRoot%\\System32\\drivers\\etc";
  auto key = reg.Open(RegRoot::LocalMachine, nullptr, kTcpipParametersKey, true);
  ASSERT_TRUE(key);
  ASSERT_TRUE(reg.Set(*key, kHostsFolderValue, v));
  EXPECT_EQ(HostsFilePath(reg, env), "C:\\Windows\\System32\\drivers\\etc\\hosts");
  v.text = "D:\\Moved\\";
  ASSERT_TRUE(reg.Set(*key, kHostsFolderValue, v));
  EXPECT_EQ(HostsFilePath(reg, env), "D:\\Moved\\hosts");
  v.text = "%NOTSET%\\etc";
  ASSERT_TRUE(reg.Set(*key, kHostsFolderValue, v));
  EXPECT_EQ(HostsFilePath(reg, env), "");
  // An empty value is no folder: the system's own place is taken.
  v.text = "";
  ASSERT_TRUE(reg.Set(*key, kHostsFolderValue, v));
  EXPECT_EQ(HostsFilePath(reg, env), "C:\\Windows\\System32\\drivers\\etc\\hosts");
}

}  // namespace
}  // namespace mt::test
