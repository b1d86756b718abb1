// The "分割文件" page of the real Main window, in process, under Windows: controls, and the
// four buttons end to end with scripted dialogs and the real file system and profile files.
#include <gtest/gtest.h>

#include "tests/support/WinPump.h"

#include <windows.h>
#include <commctrl.h>

#include <shellapi.h>
#include <shlobj.h>
#include <winioctl.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "app/Settings.h"
#include "app/win/Unit1.h"
#include "app/win/Handles.h"
#include "app/win/WinServices.h"
#include "splitter/FileSplitter.h"
#include "splitter/CheckedMerge.h"
#include "splitter/CopyEngine.h"
#include "splitter/MergeList.h"
#include "splitter/PartFiles.h"
#include "splitter/PieceNames.h"
#include "splitter/PieceSize.h"
#include "splitter/Rebuild.h"
#include "splitter/SetCheck.h"
#include "splitter/SetRecord.h"
#include "splitter/Split.h"
#include "splitter/tests/SplitterTestSupport.h"
#include "tests/support/StandIns.h"
#include "tests/support/WinMainWindow.h"
#include "splitter/win/SplitterPage.h"

namespace mt {

// The page class; the fixture below takes its name.
using SplitterTab = SplitterPage;

namespace {

namespace fs = std::filesystem;
using test::PatternBytes;
using test::ReadWholeFile;
using test::WriteWholeFile;

using test::Pump;

class SplitterPage : public test::MainWindowTest {
 protected:
  void SetUp() override {
    // Real files and profile files; dialogs, message boxes and the registry stay scripted.
    ts.services.files = real->services.files;
    ts.services.profile = real->services.profile;
    OpenForm();
    ts.messages.shown.clear();
  }
  std::string In(const std::string& name) { return dir_.path() + "\\" + name; }
  std::vector<std::string> Rows() { return ListBoxRows(form->Page<SplitterTab>().ListBox1); }
  // Clicks, then lets the split or merge that the click started run to its end, as the
  // message loop would.
  void Click(HWND button) {
    TForm1::Click(button);
    WaitIdle();
  }
  void WaitIdle() {
    DWORD start = GetTickCount();
    do {
      Pump();
      if (!form->Page<SplitterTab>().SplitterWorking()) break;
      Sleep(5);
    } while (GetTickCount() - start < 60000);
    EXPECT_FALSE(form->Page<SplitterTab>().SplitterWorking());
    Pump();
  }

  test::TempDir dir_;
};

TEST_F(SplitterPage, ControlsAndTheSpinRange) {
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().GroupBox1), "分割文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().GroupBox2), "合并文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Label1), "要分割的文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Label2), "分割为每文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Label3), "MB");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Label4), "文件列表");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button1), "...");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button3), "分割文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button4), "选择文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button5), "合并文件");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit2), "");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit1), "1024");
  for (HWND c : {form->Page<SplitterTab>().Edit2, form->Page<SplitterTab>().Edit1,
                 form->Page<SplitterTab>().Button3, form->Page<SplitterTab>().ListBox1,
                 form->Page<SplitterTab>().Button5})
    EXPECT_EQ(GetParent(c), form->TabSheet1);

  INT lo = 0, hi = 0;
  SendMessageW(form->Page<SplitterTab>().UpDown1, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lo),
               reinterpret_cast<LPARAM>(&hi));
  EXPECT_EQ(lo, 1024);
  EXPECT_EQ(hi, 2048);
  EXPECT_EQ(SendMessageW(form->Page<SplitterTab>().UpDown1, UDM_GETBUDDY, 0, 0),
            reinterpret_cast<LRESULT>(form->Page<SplitterTab>().Edit1));
  // The arrows write plain digits into Edit1.
  SendMessageW(form->Page<SplitterTab>().UpDown1, UDM_SETPOS32, 0, 2047);
  SendMessageW(form->Page<SplitterTab>().UpDown1, WM_KEYDOWN, VK_UP, 0);
  Pump();
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit1), "2048");
  SendMessageW(form->Page<SplitterTab>().UpDown1, WM_KEYDOWN, VK_UP, 0);
  Pump();
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit1), "2048");
}

TEST_F(SplitterPage, ChooseSplitListAndMergeEndToEnd) {
  std::string bytes = PatternBytes(2 * splitter::kMegabyte + 512 * 1024, 3);
  WriteWholeFile(In("archive.rar"), bytes);
  fs::create_directory(fs::u8path(In("set")));

  ts.dialogs.openAnswers.push_back(std::vector<std::string>{In("archive.rar")});
  Click(form->Page<SplitterTab>().Button1);
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit2), In("archive.rar"));
  EXPECT_EQ(ts.dialogs.openAsked.at(0).filter, "all|*.*");

  TForm1::SetText(form->Page<SplitterTab>().Edit1, "1");
  ts.dialogs.folderAnswers.push_back(In("set"));
  Click(form->Page<SplitterTab>().Button3);
  EXPECT_EQ(ts.dialogs.folderTitles, std::vector<std::string>{"选择保存目录:"});
  EXPECT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  EXPECT_EQ(form->Caption(), "分割完成");
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button3));
  EXPECT_EQ(ReadWholeFile(In("set\\0.ds")).rfind("[fghb]\r\nkzm=.rar\r\nfilesize=2621440\r\n", 0),
            0u);
  EXPECT_EQ(splitter::ReadSetRecord(*ts.services.profile, In("set\\0.ds")).kind,
            splitter::RecordRead::kValid);
  EXPECT_EQ(ReadWholeFile(In("set\\1.ds")), bytes.substr(0, splitter::kMegabyte));
  EXPECT_EQ(ReadWholeFile(In("set\\3.ds")).size(), 512u * 1024);
  EXPECT_FALSE(fs::exists(fs::u8path(In("set\\4.ds"))));

  // The dialog hands back the focused file first.
  ts.dialogs.openAnswers.push_back(
      std::vector<std::string>{In("set\\3.ds"), In("set\\0.ds"), In("set\\1.ds"), In("set\\2.ds")});
  Click(form->Page<SplitterTab>().Button4);
  const FileDialogOptions& pieces = ts.dialogs.openAsked.at(1);
  EXPECT_EQ(pieces.filter, "*.ds|*.ds");
  EXPECT_TRUE(pieces.multiSelect);
  EXPECT_TRUE(pieces.hideReadOnly);
  EXPECT_EQ(Rows(), (std::vector<std::string>{In("set\\0.ds"), In("set\\1.ds"), In("set\\2.ds"),
                                              In("set\\3.ds")}));

  ts.dialogs.saveAnswers.push_back(In("joined.rar"));
  Click(form->Page<SplitterTab>().Button5);
  EXPECT_TRUE(ts.messages.shown.empty()) << ts.messages.shown[0].text;
  ASSERT_EQ(ts.dialogs.saveAsked.size(), 1u);
  EXPECT_EQ(ts.dialogs.saveAsked[0].filter, "*.rar|*.rar");
  EXPECT_EQ(ts.dialogs.saveAsked[0].fileName, "ds.rar");
  EXPECT_EQ(ReadWholeFile(In("joined.rar")), bytes);
  EXPECT_EQ(form->Caption(), "合并完成");
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button5));
  EXPECT_EQ(form->Page<SplitterTab>().IndexPath, ".rar");
}

// "生成恢复文件" ticked (its default): a set with one piece deleted merges whole, the question
// names the rebuilt piece and "yes" puts it back; "校验分割文件" then finds the set whole. The
// box's state goes to config.ini.
TEST_F(SplitterPage, RecoveryPieceRebuildsADeletedPieceAndTheListChecksTheSet) {
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().CheckBox1), splitter::kRecoveryBoxText);
  EXPECT_EQ(SendMessageW(form->Page<SplitterTab>().CheckBox1, BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(form->ContextMenuCaptions(form->Page<SplitterTab>().ListBox1),
            std::vector<std::string>{splitter::kVerifyMenuText});
  const std::string bytes = PatternBytes(3 * splitter::kMegabyte + 4321, 8);
  WriteWholeFile(In("disk.img"), bytes);
  fs::create_directory(fs::u8path(In("set")));
  TForm1::SetText(form->Page<SplitterTab>().Edit2, In("disk.img"));
  TForm1::SetText(form->Page<SplitterTab>().Edit1, "1");
  ts.dialogs.folderAnswers.push_back(In("set"));
  Click(form->Page<SplitterTab>().Button3);
  ASSERT_EQ(form->Caption(), "分割完成");
  ASSERT_TRUE(fs::exists(fs::u8path(In(std::string("set\\") + splitter::kRecoveryName))));

  const std::string piece2 = ReadWholeFile(In("set\\2.ds"));
  fs::remove(fs::u8path(In("set\\2.ds")));
  ts.dialogs.openAnswers.push_back(
      std::vector<std::string>{In("set\\0.ds"), In("set\\1.ds"), In("set\\3.ds"), In("set\\4.ds")});
  Click(form->Page<SplitterTab>().Button4);
  ts.dialogs.saveAnswers.push_back(In("joined.img"));
  ts.messages.answers = {kIdYes};
  Click(form->Page<SplitterTab>().Button5);
  WaitIdle();  // the write-back the answer started
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, FormatMessage1(splitter::kRebuiltText, In("set\\2.ds")));
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_TRUE(ReadWholeFile(In("joined.img")) == bytes);
  EXPECT_TRUE(ReadWholeFile(In("set\\2.ds")) == piece2);
  EXPECT_EQ(form->Caption(), splitter::kWriteBackDoneCaption);

  // The list again, with the piece written back.
  SendMessageW(form->Page<SplitterTab>().ListBox1, LB_RESETCONTENT, 0, 0);
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{
      In("set\\0.ds"), In("set\\1.ds"), In("set\\2.ds"), In("set\\3.ds"), In("set\\4.ds")});
  Click(form->Page<SplitterTab>().Button4);
  ts.messages.shown.clear();
  form->Page<SplitterTab>().VerifyPiecesClick();
  WaitIdle();
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, "完好");

  ts.services.exeDir = dir_.path();  // config.ini in a folder of this test's own
  TForm1::Click(form->Page<SplitterTab>().CheckBox1);
  Pump();
  EXPECT_EQ(SendMessageW(form->Page<SplitterTab>().CheckBox1, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(ts.services.profile->ReadString(SettingsFilePath(ts.services.exeDir), kSettingsSection,
                                            splitter::kKeyRecoveryBox, ""),
            "0");
}

TEST_F(SplitterPage, MissingInputOnlyBeeps) {
  Click(form->Page<SplitterTab>().Button3);
  Click(form->Page<SplitterTab>().Button5);
  EXPECT_EQ(ts.messages.beeps, 2);
  EXPECT_TRUE(ts.dialogs.folderTitles.empty());
  EXPECT_TRUE(ts.dialogs.saveAsked.empty());
  EXPECT_EQ(form->Caption(), "Mirtak工具合集 v1.3");
}

TEST_F(SplitterPage, SourceInUseIsReportedAndThePageIsUsableAgain) {
  WriteWholeFile(In("busy.bin"), "abc");
  // Another program holds the file without sharing.
  UniqueFileHandle held(CreateFileW(Widen(In("busy.bin")).c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  TForm1::SetText(form->Page<SplitterTab>().Edit2, In("busy.bin"));
  ts.dialogs.folderAnswers.push_back(dir_.path());
  Click(form->Page<SplitterTab>().Button3);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text.rfind("Cannot open file \"" + In("busy.bin") + "\". ", 0), 0u)
      << ts.messages.shown[0].text;
  EXPECT_EQ(ts.messages.shown[0].caption, "Mirtak小工具合集");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_EQ(form->Caption(), "Mirtak工具合集 v1.3");
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button3));
  EXPECT_FALSE(fs::exists(fs::u8path(In("1.ds"))));
}

TEST_F(SplitterPage, NegativeSizeAndOutputOverAPieceAreRefusedWithANotice) {
  WriteWholeFile(In("a.txt"), "abcdef");
  TForm1::SetText(form->Page<SplitterTab>().Edit2, In("a.txt"));
  TForm1::SetText(form->Page<SplitterTab>().Edit1, "-1");
  Click(form->Page<SplitterTab>().Button3);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, splitter::kNegativeSizeText);
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_OK));
  EXPECT_TRUE(ts.dialogs.folderTitles.empty());
  EXPECT_FALSE(fs::exists(fs::u8path(In("0.ds"))));

  TForm1::SetText(form->Page<SplitterTab>().Edit1, "1");
  ts.dialogs.folderAnswers.push_back(dir_.path());
  Click(form->Page<SplitterTab>().Button3);
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{In("1.ds"), In("0.ds")});
  Click(form->Page<SplitterTab>().Button4);
  // The same piece, as the user might type it in the save dialog.
  std::string upper = In("1.DS");
  ts.dialogs.saveAnswers.push_back(upper);
  Click(form->Page<SplitterTab>().Button5);
  ASSERT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_EQ(ts.messages.shown[1].text, splitter::kOutputIsInputText);
  EXPECT_EQ(ReadWholeFile(In("1.ds")), "abcdef");
  EXPECT_EQ(form->Caption(), "分割完成");
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button5));
}

// Other spellings of an existing file that its path text does not give away: under Wine the
// prefix's C: drive again through Z: (which maps the whole Unix tree), the 8.3 short name, and
// a hard link `link`. Each comes with a label for the failure message.
std::vector<std::pair<std::string, std::string>> AliasesOf(const std::string& path,
                                                           const std::string& link) {
  std::vector<std::pair<std::string, std::string>> out;
  using UnixName = char*(CDECL*)(const wchar_t*);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName) {
    if (char* u = unixName(Widen(path).c_str())) {
      std::string unixPath = u;
      HeapFree(GetProcessHeap(), 0, u);
      // Wine answers through the prefix's drive link "dosdevices/c:"; go through the folder
      // it points at, as a user who browses Z: would.
      size_t at = unixPath.find("/dosdevices/c:/");
      if (at != std::string::npos) unixPath.replace(at, 15, "/drive_c/");
      std::string z = "Z:" + unixPath;
      for (char& c : z)
        if (c == '/') c = '\\';
      if (GetFileAttributesW(Widen(z).c_str()) != INVALID_FILE_ATTRIBUTES)
        out.push_back({"Z: drive", z});
      else ADD_FAILURE() << "under Wine, yet " << z << " does not reach " << path;
    }
  }
  wchar_t shortName[MAX_PATH] = L"";
  if (GetShortPathNameW(Widen(path).c_str(), shortName, MAX_PATH) && Narrow(shortName) != path)
    out.push_back({"8.3 name", Narrow(shortName)});
  if (CreateHardLinkW(Widen(link).c_str(), Widen(path).c_str(), nullptr))
    out.push_back({"hard link", link});
  return out;
}

TEST_F(SplitterPage, OutputThatReachesAListedPieceByAnotherNameIsRefusedUntouched) {
  fs::create_directory(fs::u8path(In("set")));
  fs::create_directory(fs::u8path(In("links")));
  WriteWholeFile(In("set\\0.ds"), "[fghb]\r\nkzm=.bin\r\n");
  for (char k : {'1', '2', '3', '4'})
    WriteWholeFile(In(std::string("set\\") + k + ".ds"), std::string(1000, k));
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{
      In("set\\0.ds"), In("set\\1.ds"), In("set\\2.ds"), In("set\\3.ds"), In("set\\4.ds")});
  Click(form->Page<SplitterTab>().Button4);

  auto aliases = AliasesOf(In("set\\4.ds"), In("links\\4-link.ds"));
  ASSERT_FALSE(aliases.empty());
  for (const auto& [kind, alias] : aliases) {
    SCOPED_TRACE(kind + ": " + alias);
    WriteWholeFile(In("set\\4.ds"), std::string(1000, '4'));
    ts.messages.shown.clear();
    ts.dialogs.saveAnswers.push_back(alias);
    Click(form->Page<SplitterTab>().Button5);
    ASSERT_EQ(ts.messages.shown.size(), 1u);
    EXPECT_EQ(ts.messages.shown[0].text, splitter::kOutputIsInputText);
    EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
    EXPECT_EQ(ReadWholeFile(In("set\\4.ds")), std::string(1000, '4'));
    EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button5));
  }
  // The Index row is a listed file as well.
  for (const auto& [kind, alias] : AliasesOf(In("set\\0.ds"), In("links\\0-link.ds"))) {
    SCOPED_TRACE(kind + ": " + alias);
    ts.messages.shown.clear();
    ts.dialogs.saveAnswers.push_back(alias);
    Click(form->Page<SplitterTab>().Button5);
    ASSERT_EQ(ts.messages.shown.size(), 1u);
    EXPECT_EQ(ts.messages.shown[0].text, splitter::kOutputIsInputText);
    EXPECT_EQ(ReadWholeFile(In("set\\0.ds")), "[fghb]\r\nkzm=.bin\r\n");
  }
  // A file outside the list is still replaced.
  ts.messages.shown.clear();
  WriteWholeFile(In("links\\joined.bin"), "old");
  ts.dialogs.saveAnswers.push_back(In("links\\joined.bin"));
  Click(form->Page<SplitterTab>().Button5);
  EXPECT_TRUE(ts.messages.shown.empty());
  EXPECT_EQ(ReadWholeFile(In("links\\joined.bin")),
            std::string(1000, '1') + std::string(1000, '2') + std::string(1000, '3') +
                std::string(1000, '4'));
}

TEST_F(SplitterPage, CancelledDialogsLeaveCaptionAndButtons) {
  WriteWholeFile(In("a.txt"), "abc");
  TForm1::SetText(form->Page<SplitterTab>().Edit2, In("a.txt"));
  Click(form->Page<SplitterTab>().Button3);  // folder dialog cancelled
  EXPECT_EQ(form->Caption(), "Mirtak工具合集 v1.3");
  ts.dialogs.openAnswers.push_back(std::vector<std::string>{In("x.ds")});
  Click(form->Page<SplitterTab>().Button4);
  Click(form->Page<SplitterTab>().Button5);  // save dialog cancelled
  EXPECT_EQ(form->Caption(), "Mirtak工具合集 v1.3");
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button3));
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button5));
  EXPECT_TRUE(ts.messages.shown.empty());
}

// A sparse file of 4 GiB + 100 bytes: nothing on disk, but the split reads all of it.
std::string MakeSparse(const std::string& path) {
  UniqueFileHandle f(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD ignored = 0;
  DeviceIoControl(f.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER size;
  size.QuadPart = 4294967296LL + 100;
  SetFilePointerEx(f.get(), size, nullptr, FILE_BEGIN);
  SetEndOfFile(f.get());
  return path;
}

// Percentage at the end of a working caption, or -1.
int PercentOf(const std::string& caption, const std::string& working) {
  if (caption.rfind(working + " ", 0) != 0 || caption.back() != '%') return -1;
  return std::stoi(caption.substr(working.size() + 1));
}

TEST_F(SplitterPage, WindowAnswersWhileALargeSplitRunsAndTheButtonStopsIt) {
  TForm1::SetText(form->Page<SplitterTab>().Edit2, MakeSparse(In("big.iso")));
  TForm1::SetText(form->Page<SplitterTab>().Edit1, "1");
  fs::create_directory(fs::u8path(In("set")));
  ts.dialogs.folderAnswers.push_back(In("set"));
  TForm1::Click(form->Page<SplitterTab>().Button3);
  EXPECT_TRUE(form->Page<SplitterTab>().SplitterWorking());
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button3), "停止分割");
  EXPECT_FALSE(IsWindowEnabled(form->Page<SplitterTab>().Button5));
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button3));

  // Another thread asks the window for its caption with a timeout while the work runs.
  HWND h = form->Handle;
  std::atomic<bool> done{false};
  std::atomic<int> answered{0}, timedOut{0};
  std::thread asker([&] {
    while (!done) {
      wchar_t text[128] = L"";
      DWORD_PTR got = 0;
      if (SendMessageTimeoutW(h, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 500,
                              &got))
        ++answered;
      else ++timedOut;
      Sleep(20);
    }
  });
  std::vector<int> seen;
  DWORD start = GetTickCount();
  while (GetTickCount() - start < 30000) {
    Pump();
    int p = PercentOf(form->Caption(), "正在分割，请稍侯...");
    if (p >= 0 && (seen.empty() || seen.back() != p)) seen.push_back(p);
    if (seen.size() >= 3 && answered >= 5) break;
    Sleep(5);
  }
  ASSERT_TRUE(form->Page<SplitterTab>().SplitterWorking())
      << "the split ended before it could be stopped";
  // Stop from the button.
  TForm1::Click(form->Page<SplitterTab>().Button3);
  WaitIdle();
  done = true;
  asker.join();
  EXPECT_GE(answered.load(), 5);
  EXPECT_EQ(timedOut.load(), 0);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_GT(seen.back(), 0);

  EXPECT_EQ(form->Caption(), "Mirtak工具合集 v1.3");
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button3), "分割文件");
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button3));
  EXPECT_TRUE(IsWindowEnabled(form->Page<SplitterTab>().Button5));
  EXPECT_TRUE(ts.messages.shown.empty());
  // Only whole pieces stay, and no Index piece: without it they never pass for a set.
  int pieces = 0;
  for (const auto& e : fs::directory_iterator(fs::u8path(In("set")))) {
    EXPECT_NE(e.path().filename(), "0.ds");
    ++pieces;
    EXPECT_EQ(e.file_size(), splitter::kMegabyte) << e.path();
  }
  EXPECT_GT(pieces, 0);
}

TEST_F(SplitterPage, ClosingDuringAMergeAsksAndYesStopsAndRemovesTheOutput) {
  // A set of two pieces of 2 GiB, sparse: the merge runs long enough to be closed.
  fs::create_directory(fs::u8path(In("set")));
  WriteWholeFile(In("set\\0.ds"), "[fghb]\r\nkzm=.iso\r\n");
  MakeSparse(In("set\\1.ds"));
  MakeSparse(In("set\\2.ds"));
  ts.dialogs.openAnswers.push_back(
      std::vector<std::string>{In("set\\0.ds"), In("set\\1.ds"), In("set\\2.ds")});
  Click(form->Page<SplitterTab>().Button4);
  ts.dialogs.saveAnswers.push_back(In("joined.iso"));
  TForm1::Click(form->Page<SplitterTab>().Button5);
  ASSERT_TRUE(form->Page<SplitterTab>().SplitterWorking());
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Button5), "停止合并");
  EXPECT_FALSE(IsWindowEnabled(form->Page<SplitterTab>().Button3));

  HWND h = form->Handle;
  ts.messages.answers = {IDNO, IDYES};
  SendMessageW(h, WM_CLOSE, 0, 0);
  ASSERT_EQ(ts.messages.shown.size(), 1u);
  EXPECT_EQ(ts.messages.shown[0].text, splitter::kCloseWhileWorkingText);
  EXPECT_EQ(ts.messages.shown[0].caption, "温馨提示");
  EXPECT_EQ(ts.messages.shown[0].style, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
  Pump();
  EXPECT_TRUE(IsWindow(h));
  EXPECT_TRUE(form->Page<SplitterTab>().SplitterWorking());

  SendMessageW(h, WM_CLOSE, 0, 0);
  DWORD start = GetTickCount();
  while (IsWindow(h) && GetTickCount() - start < 30000) {
    Pump();
    Sleep(5);
  }
  EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(ts.messages.shown.size(), 2u);
  EXPECT_FALSE(fs::exists(fs::u8path(In("joined.iso"))));
  EXPECT_FALSE(form->Page<SplitterTab>().SplitterWorking());
}

// Files dropped through a real WM_DROPFILES, as the shell hands them over.
void DropOn(HWND page, HWND control, const std::vector<std::string>& files) {
  std::wstring list;
  for (const std::string& f : files) list += Widen(f) + L'\0';
  list += L'\0';
  HGLOBAL mem = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* df = static_cast<DROPFILES*>(GlobalLock(mem));
  df->pFiles = sizeof(DROPFILES);
  df->fWide = TRUE;
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
  df->pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  memcpy(reinterpret_cast<char*>(df) + sizeof(DROPFILES), list.data(),
         list.size() * sizeof(wchar_t));
  GlobalUnlock(mem);
  SendMessageW(page, WM_DROPFILES, reinterpret_cast<WPARAM>(mem), 0);
}

TEST_F(SplitterPage, DroppedFilesFillEdit2OrJoinTheListInSelectionOrder) {
  EXPECT_TRUE(GetWindowLongW(form->TabSheet1, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  fs::create_directory(fs::u8path(In("set")));
  for (const char* k : {"0.ds", "1.ds", "2.ds", "10.ds"})
    WriteWholeFile(In(std::string("set\\") + k), "x");
  WriteWholeFile(In("movie.avi"), "x");

  DropOn(form->TabSheet1, form->Page<SplitterTab>().Edit2, {In("movie.avi"), In("set\\1.ds")});
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit2), In("movie.avi"));
  EXPECT_TRUE(Rows().empty());

  DropOn(form->TabSheet1, form->Page<SplitterTab>().ListBox1,
         {In("set\\10.ds"), In("set\\2.ds"), In("set\\0.ds"), In("set\\1.ds"), In("set")});
  EXPECT_EQ(Rows(), (std::vector<std::string>{In("set\\0.ds"), In("set\\1.ds"), In("set\\2.ds"),
                                              In("set\\10.ds")}));
  EXPECT_EQ(form->Page<SplitterTab>().IndexPath, In("set\\0.ds"));
  EXPECT_EQ(TForm1::GetText(form->Page<SplitterTab>().Edit2), In("movie.avi"));
  // A drop beside both leaves everything as it is.
  DropOn(form->TabSheet1, form->Page<SplitterTab>().Button4, {In("movie.avi")});
  EXPECT_EQ(Rows().size(), 4u);
}

}  // namespace
}  // namespace mt
