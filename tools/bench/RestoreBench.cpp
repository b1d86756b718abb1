// Benchmark: the restore of a backup set, on the real registry and file system through the
// program's real services, each against a reference measured the same way in the same run.
//   restore_bench [ROUNDS]    ROUNDS interleaved rounds (default 5)
//   restore_bench profile     where one restore of the 1,000 items spends its time
// Restore: "恢复全部" of a set of 1,000 startup values (400 in the user's Run key, 300 in the
// machine's Run key in each view), saved with DeletionBackup, deleted and sealed as the
// startup page does, put back with RestoreItems (every question answered yes), against
// "reg import" of the set's own export file (a reg.exe process started and waited for); the
// values are deleted again after each, and the restore's own set removed.
// Listing: 100 sets below one "备份" (99 of 3 values, one of 1,000) listed with
// BackupSetFolders and read with ReadBackupSet, against finding the same folders with
// FindFirstFileW/FindNextFileW and parsing each manifest with nothing else.
// Prints one line per round, the ratios, and last
// "restore_ms=N reg_import_ms=M list_ms=L enumerate_ms=E items=K" (medians over the rounds).
// Everything it makes carries "mt-bench " (values) or lies below "C:\mt-bench restore", and
// is removed again, also what an interrupted run left.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/Backup.h"
#include "app/BackupSets.h"
#include "app/Change.h"
#include "app/ChangeFile.h"
#include "app/ChangeRegistry.h"
#include "app/Restore.h"
#include "app/SetSeal.h"
#include "app/Sha256.h"
#include "app/CodePage.h"
#include "program/ChangeKindList.h"
#include "program/WinServiceSet.h"
#include "tools/bench/WinBenchSupport.h"

namespace {

using mt::bench::Median;
using mt::bench::NowMs;

constexpr const char* kRun = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kPrefix = "mt-bench ";
const std::string kBase = "C:\\mt-bench restore";
const std::string kRestoreDir = kBase + "\\restore";  // the big set and the restores' own sets
const std::string kListDir = kBase + "\\list";        // the 100 sets that are listed
constexpr int kItems = 1000;
constexpr int kSmallSets = 99;
constexpr int kSmallItems = 3;

struct Place {
  mt::RegRoot root;
  mt::RegView view;
};

// Which key item i lives in: 400 user values, then 300 in each view of the machine's key.
Place PlaceOf(int i) {
  if (i < 400) return {mt::RegRoot::CurrentUser, mt::RegView::Native};
  if (i < 700) return {mt::RegRoot::LocalMachine, mt::RegView::Native};
  return {mt::RegRoot::LocalMachine, mt::RegView::Wow32};
}

std::string ValueName(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d", i);
  return kPrefix + "program " + text;
}

std::string ValueData(int i) {
  return "\"C:\\Program Files\\mt-bench\\程序 " + std::to_string(i) + "\\run.exe\" /background";
}

const Place kPlaces[] = {{mt::RegRoot::CurrentUser, mt::RegView::Native},
                         {mt::RegRoot::LocalMachine, mt::RegView::Native},
                         {mt::RegRoot::LocalMachine, mt::RegView::Wow32}};

// Removes every "mt-bench " value from the three Run keys; returns how many there were.
int DeleteBenchValues(mt::RegistryBackend& reg) {
  int n = 0;
  for (const Place& p : kPlaces) {
    auto key = reg.Open(p.root, nullptr, kRun, false, p.view);
    if (!key) continue;
    for (const std::string& name : reg.ValueNames(*key))
      if (name.rfind(kPrefix, 0) == 0 && reg.DeleteValue(*key, name)) ++n;
  }
  return n;
}

// The bench values in the three Run keys whose data is what WriteValues wrote.
int CountRightValues(mt::RegistryBackend& reg, int count) {
  int n = 0;
  for (int i = 0; i < count; ++i) {
    const Place p = PlaceOf(i);
    auto key = reg.Open(p.root, nullptr, kRun, false, p.view);
    if (!key) continue;
    std::optional<mt::RegValue> v = reg.Query(*key, ValueName(i));
    if (v && v->type == mt::RegDataType::String && v->text == ValueData(i)) ++n;
  }
  return n;
}

bool WriteValues(mt::RegistryBackend& reg, int count) {
  for (int i = 0; i < count; ++i) {
    const Place p = PlaceOf(i);
    auto key = reg.Open(p.root, nullptr, kRun, true, p.view);
    mt::RegValue value;
    value.text = ValueData(i);
    if (!key || !reg.Set(*key, ValueName(i), value)) return false;
  }
  return true;
}

void RemoveFolder(const std::string& folder) {
  const std::wstring base = mt::Widen(folder);
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((base + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = base + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolder(mt::Narrow(path));
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(base.c_str());
}

// Saves the first `count` values into a set below `dataDir`, as the startup page does before
// it deletes: returns the backup (written, not yet sealed), or null when it failed.
std::unique_ptr<mt::DeletionBackup> SaveSet(const mt::ChangeEnv& env, const std::string& dataDir,
                                            int count, const std::string& stamp) {
  auto set = std::make_unique<mt::DeletionBackup>(env, dataDir, "startup");
  for (int i = 0; i < count; ++i) {
    const Place p = PlaceOf(i);
    set->SetCaption(ValueName(i).substr(kPrefix.size()) + "  " + ValueData(i));
    set->SaveValue(p.root, p.view, kRun, ValueName(i));
  }
  if (set->Count() != static_cast<size_t>(count) || !set->Write(stamp)) return nullptr;
  return set;
}

class YesToAll : public mt::RestoreQuestions {
 public:
  bool ConfirmChanged(const mt::SetItem&, const std::string&) override { return true; }
  FileChoice FileConflict(const mt::SetItem&) override { return FileChoice::Overwrite; }
  bool ConfirmMachineWide(const std::vector<const mt::SetItem*>&,
                          const std::vector<std::string>&) override {
    return true;
  }
  bool AskFollowUp(const std::string&) override { return false; }
};

// "reg import FILE" in a process of its own, waited for; its exit code.
DWORD RegImport(const std::string& file) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring exe = std::wstring(system) + L"\\reg.exe";
  std::wstring line = L"reg.exe import \"" + mt::Widen(file) + L"\"";
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &sa, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi{};
  DWORD code = 9999;
  if (CreateProcessW(exe.c_str(), &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                     nullptr, &si, &pi)) {
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  return code;
}

// The reference of the listing: the folders found and each manifest parsed, nothing else.
size_t EnumerateAndParse(const std::string& dataDir, size_t& sets) {
  const std::wstring root = mt::Widen(mt::BackupRoot(dataDir));
  const std::wstring manifest = mt::Widen(mt::kBackupManifestName);
  size_t items = 0;
  sets = 0;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((root + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    const std::wstring name = fd.cFileName;
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || name == L"." || name == L"..")
      continue;
    HANDLE f = CreateFileW((root + L"\\" + name + L"\\" + manifest).c_str(), GENERIC_READ, 0,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) continue;
    std::string text;
    char buffer[65536];
    DWORD n = 0;
    while (ReadFile(f, buffer, sizeof buffer, &n, nullptr) && n > 0) text.append(buffer, n);
    CloseHandle(f);
    const nlohmann::json parsed = nlohmann::json::parse(text);
    items += parsed["items"].size();
    ++sets;
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  return items;
}

bool SealKeyExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\MRTKBOX\\BackupSeal", 0,
                    KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

void Cleanup(mt::RegistryBackend& reg) {
  DeleteBenchValues(reg);
  RemoveFolder(kBase);
}

int Fail(const char* what) {
  std::fprintf(stderr, "restore_bench: %s\n", what);
  return 1;
}

// Where one restore of the whole set spends its time, by the steps RestoreItems takes: the
// state of each item read, the restore's own set saved, written and sealed, the values
// written and read back.
int Profile(const mt::ChangeEnv& env, const mt::BackupSetInfo& set) {
  mt::RegistryBackend& reg = *env.registry;
  double t = NowMs();
  for (const mt::SetItem& item : set.items) (void)item.change->Observe(env);
  const double observeMs = NowMs() - t;
  t = NowMs();
  mt::DeletionBackup undo(env, kRestoreDir, set.tool);
  for (const mt::SetItem& item : set.items) undo.Add(item.change->AtSamePlace(), true);
  const double undoAddMs = NowMs() - t;
  t = NowMs();
  undo.Write(mt::BackupStamp());
  const double undoWriteMs = NowMs() - t;
  t = NowMs();
  for (const mt::SetItem& item : set.items) item.change->Restore(env, item.before, item.saved);
  const double writeMs = NowMs() - t;
  t = NowMs();
  for (const mt::SetItem& item : set.items) (void)item.change->Observe(env);
  const double readBackMs = NowMs() - t;
  t = NowMs();
  undo.Seal();
  const double sealMs = NowMs() - t;
  t = NowMs();
  const mt::BackupSetInfo again = mt::ReadBackupSet(env, mt::ProgramChangeKinds(), set.folder);
  const double readSetMs = NowMs() - t;
  std::printf(
      "profile (%zu items): observe_ms=%.0f undo_add_ms=%.0f undo_write_ms=%.0f "
      "restore_writes_ms=%.0f read_back_ms=%.0f undo_seal_ms=%.0f read_set_ms=%.0f\n",
      set.items.size(), observeMs, undoAddMs, undoWriteMs, writeMs, readBackMs, sealMs, readSetMs);
  RemoveFolder(undo.Folder());
  DeleteBenchValues(reg);
  if (again.items.size() != set.items.size()) return Fail("the set read back differs");

  // The listing's steps over all 100 sets, each summed: the parts of what the window does
  // (ReadBackupSet with the seal left for later, then the seal of the first set checked).
  mt::FileSystem& files = *env.files;
  double folderMs = 0, findMs = 0, readMs = 0, parseMs = 0, readSetMs2 = 0;
  t = NowMs();
  const std::vector<std::string> folders = mt::BackupSetFolders(files, kListDir);
  folderMs = NowMs() - t;
  for (const std::string& folder : folders) {
    t = NowMs();
    (void)files.Find(folder, "*");
    findMs += NowMs() - t;
    t = NowMs();
    const std::string text = mt::ReadAllBytes(files, folder + "\\" + mt::kBackupManifestName);
    readMs += NowMs() - t;
    t = NowMs();
    const nlohmann::json parsed = nlohmann::json::parse(text);
    if (!parsed.is_object()) return Fail("a manifest is not a JSON object");
    parseMs += NowMs() - t;
  }
  std::vector<mt::BackupSetInfo> infos;
  t = NowMs();
  for (const std::string& folder : folders)
    infos.push_back(mt::ReadBackupSet(env, mt::ProgramChangeKinds(), folder, mt::SealCheck::Later));
  readSetMs2 = NowMs() - t;
  t = NowMs();
  if (!infos.empty()) mt::CheckSeal(env, infos.front());
  const double checkMs = NowMs() - t;
  // The newest set alone (1,000 items), best of five: read and parsed, against read whole.
  double bigParseMs = 1e9, bigReadSetMs = 1e9;
  for (int i = 0; i < 5 && !folders.empty(); ++i) {
    t = NowMs();
    const nlohmann::json parsed = nlohmann::json::parse(
        mt::ReadAllBytes(files, folders.front() + "\\" + mt::kBackupManifestName));
    bigParseMs = std::min(bigParseMs, NowMs() - t);
    if (!parsed.is_object()) return Fail("a manifest is not a JSON object");
    t = NowMs();
    const mt::BackupSetInfo one = mt::ReadBackupSet(env, mt::ProgramChangeKinds(), folders.front(),
                                                    mt::SealCheck::Later);
    bigReadSetMs = std::min(bigReadSetMs, NowMs() - t);
  }
  std::printf("profile (the newest set): read_and_parse_ms=%.1f read_set_ms=%.1f\n", bigParseMs,
              bigReadSetMs);
  std::printf(
      "profile (%zu sets): folders_ms=%.1f find_ms=%.1f read_ms=%.1f parse_ms=%.1f "
      "read_sets_ms=%.1f (the rest: %.1f) check_first_seal_ms=%.1f\n",
      folders.size(), folderMs, findMs, readMs, parseMs, readSetMs2,
      readSetMs2 - findMs - readMs - parseMs, checkMs);
  t = NowMs();
  for (int i = 0; i < 100; ++i) (void)mt::Sha256().FinishHex();
  const double emptyMs = NowMs() - t;
  const std::string mib(1 << 20, 'x');
  t = NowMs();
  mt::Sha256 h;
  h.Update(mib.data(), mib.size());
  (void)h.FinishHex();
  std::printf("profile (SHA-256): 100 empty digests %.1f ms, 1 MiB %.1f ms\n", emptyMs,
              NowMs() - t);
  return 0;
}

int Run(int argc, char** argv) {
  const bool profile = argc >= 2 && std::strcmp(argv[1], "profile") == 0;
  const int rounds = argc >= 2 && !profile ? std::max(1, std::atoi(argv[1])) : 8;
  auto real = mt::MakeWinServices();
  const mt::ChangeEnv env = mt::ChangeEnvOf(real->services);
  mt::RegistryBackend& reg = *env.registry;
  const bool sealKeyBefore = SealKeyExists();
  Cleanup(reg);

  // The sets: the big one twice (to restore, and among those listed), and 99 small ones.
  if (!WriteValues(reg, kItems)) return Fail("cannot write the Run values");
  auto big = SaveSet(env, kRestoreDir, kItems, "2026-12-01 09.00.00");
  // The newest of the listed sets, so that the window's first shown set (whose seal it
  // checks) is the big one.
  auto listedBig = SaveSet(env, kListDir, kItems, "2026-12-31 09.00.00");
  if (!big || !listedBig) return Fail("cannot write the 1,000-item sets");
  DeleteBenchValues(reg);
  if (!big->Seal() || !listedBig->Seal()) return Fail("cannot seal the 1,000-item sets");
  for (int s = 0; s < kSmallSets; ++s) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026-12-%02d %02d.%02d.00", 2 + s / 60, 10 + s / 60,
                  s % 60);
    WriteValues(reg, kSmallItems);
    auto small = SaveSet(env, kListDir, kSmallItems, stamp);
    DeleteBenchValues(reg);
    if (!small || !small->Seal()) return Fail("cannot write a small set");
  }
  const mt::BackupSetInfo set = mt::ReadBackupSet(env, mt::ProgramChangeKinds(), big->Folder());
  if (!set.damage.empty() || !set.sealed || set.items.size() != kItems)
    return Fail("the 1,000-item set does not read back whole and sealed");
  const std::string regFile = set.folder + "\\" + mt::kBackupRegFileName;
  std::vector<size_t> all;
  for (size_t i = 0; i < set.items.size(); ++i) all.push_back(i);

  int status = 0;
  if (profile) {
    status = Profile(env, set);
  } else {
    std::vector<double> restoreMs, importMs, listMs, enumerateMs;
    YesToAll yes;
    auto restore = [&] {
      const double t = NowMs();
      const mt::RestoreReport report = mt::RestoreItems(env, kRestoreDir, set, all, yes);
      restoreMs.push_back(NowMs() - t);
      size_t back = 0;
      for (const mt::RestoreOutcome& o : report.items) back += o.back;
      if (back != kItems || CountRightValues(reg, kItems) != kItems) {
        std::fprintf(stderr, "restore: %zu of %d back; %s\n", back, kItems,
                     report.Text().substr(0, 300).c_str());
        status = 1;
      }
      if (!report.undoFolder.empty()) RemoveFolder(report.undoFolder);
      DeleteBenchValues(reg);
    };
    auto import = [&] {
      const double t = NowMs();
      const DWORD code = RegImport(regFile);
      importMs.push_back(NowMs() - t);
      if (code != 0 || CountRightValues(reg, kItems) != kItems) {
        std::fprintf(stderr, "reg import: exit code %lu, %d values right\n", code,
                     CountRightValues(reg, kItems));
        status = 1;
      }
      DeleteBenchValues(reg);
    };
    size_t listedItems = 0;
    auto list = [&] {
      // As the window lists them: every set read, the seal checked of the one it shows first.
      const double t = NowMs();
      std::vector<mt::BackupSetInfo> infos;
      for (const std::string& folder : mt::BackupSetFolders(*env.files, kListDir))
        infos.push_back(
            mt::ReadBackupSet(env, mt::ProgramChangeKinds(), folder, mt::SealCheck::Later));
      if (!infos.empty()) mt::CheckSeal(env, infos.front());
      listMs.push_back(NowMs() - t);
      size_t items = 0, sets = 0, good = 0;
      for (const mt::BackupSetInfo& info : infos) {
        items += info.items.size();
        ++sets;
        good += info.damage.empty() && mt::SealHolds(env, info);
      }
      listedItems = items;
      if (sets != kSmallSets + 1 || good != sets) {
        std::fprintf(stderr, "list: %zu sets, %zu whole and sealed\n", sets, good);
        status = 1;
      }
    };
    auto enumerate = [&] {
      const double t = NowMs();
      size_t sets = 0;
      const size_t items = EnumerateAndParse(kListDir, sets);
      enumerateMs.push_back(NowMs() - t);
      if (sets != kSmallSets + 1 || items != listedItems) {
        std::fprintf(stderr, "enumerate: %zu sets, %zu items\n", sets, items);
        status = 1;
      }
    };
    // Once each before timing: the file cache and the DLLs the calls load.
    list();
    enumerate();
    listMs.clear();
    enumerateMs.clear();
    for (int r = 0; r < rounds; ++r) {
      // Each pair is timed in both orders, and each order of the second pair after each of
      // the first (four rounds make every combination): what runs just before, such as the
      // import's own process, then weighs on the listing and on its reference alike.
      if (r % 2 == 0) {
        restore();
        import();
      } else {
        import();
        restore();
      }
      if ((r / 2) % 2 == 0) {
        list();
        enumerate();
      } else {
        enumerate();
        list();
      }
      std::printf("round %d: restore_ms=%.0f reg_import_ms=%.0f list_ms=%.1f enumerate_ms=%.1f\n",
                  r + 1, restoreMs.back(), importMs.back(), listMs.back(), enumerateMs.back());
      std::fflush(stdout);
    }
    const double restoreMed = Median(restoreMs), importMed = Median(importMs);
    const double listMed = Median(listMs), enumerateMed = Median(enumerateMs);
    std::printf("restore_ratio=%.2f (restore of %d items against reg import; goal 2)\n",
                restoreMed / importMed, kItems);
    std::printf("list_ratio=%.2f (%d sets, %zu items, against enumerating and parsing; goal 1.5)\n",
                listMed / enumerateMed, kSmallSets + 1, listedItems);
    std::printf("restore_ms=%.0f reg_import_ms=%.0f list_ms=%.0f enumerate_ms=%.0f items=%d\n",
                restoreMed, importMed, listMed, enumerateMed, kItems);
  }
  Cleanup(reg);
  if (!sealKeyBefore)
    reg.DeleteTree(mt::RegRoot::LocalMachine, nullptr, "SOFTWARE\\MRTKBOX\\BackupSeal");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "restore_bench: %s\n", e.what());
    return 1;
  }
}
