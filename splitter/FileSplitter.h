// The four handlers of the "分割文件" page as portable logic: the window side hands in its
// controls through SplitterView and the services; nothing here touches a window handle.
#pragma once

#include <string>
#include <vector>

#include "app/Services.h"
#include "splitter/SplitterTexts.h"
#include "splitter/SplitterView.h"
#include "splitter/WorkProtocol.h"

namespace mt::splitter {

// The "生成恢复文件" tick box's key in config.ini (section DS_config).
inline constexpr const char* kKeyRecoveryBox = "recovery";
// The tick box's state in config.ini (ticked when nothing is stored), and its change.
bool ReadRecoveryBox(Services& svc);
void SaveRecoveryBox(Services& svc, bool ticked);

// OpenDialog1 ("all|*.*") and OpenDialog2 ("*.ds|*.ds", several files, no read-only box).
FileDialogOptions OpenDialog1Defaults();
FileDialogOptions OpenDialog2Defaults();

// Button1Click: the file to split into Edit2; a cancel leaves Edit2 as it is.
void ChooseSourceFile(Services& svc, SplitterView& view, const FileDialogOptions& openDialog1);

// Button3Click: data pieces, the recovery piece when ticked, and the Index piece into a folder
// the user picks (SplitIntoSet), on a worker, with the percentage in the caption; the Index
// piece takes its name last, with the record of sizes and digests, once the set is whole. While
// the split runs Button3 stops it. A bad piece size is reported before anything is written; a
// cancelled folder dialog changes nothing; a failure re-enables the buttons and puts the
// caption back before the error travels on to the error report.
void SplitSourceFile(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work);

// Button4Click: appends a confirmed selection to ListBox1, numbered pieces in numeric order
// first; `indexPath` becomes the first file of it (a cancel keeps the previous one).
void ChoosePieces(Services& svc, SplitterView& view, const FileDialogOptions& openDialog2,
                  std::string& indexPath);

// Files dropped on ListBox1: appended like a confirmed selection of OpenDialog2.
void AddPieces(SplitterView& view, const std::vector<std::string>& chosen, std::string& indexPath);
// Files dropped on the split group: the first one into Edit2.
void DropSourceFile(SplitterView& view, const std::vector<std::string>& dropped);

// Button5Click: joins the listed data pieces into a file the user names, on a worker. Refuses,
// writing nothing, when the list does not start with the Index piece, when a numbered piece is
// missing or out of order, or when the output is one of the listed files. When the first row
// is an Index piece with a record, the rows must also be its pieces with their sizes, and each
// piece's digest is checked as it is copied; a mismatch stops the merge, removes the output
// and names the piece. The output is joined under its temporary name and renamed when whole,
// so a file saved over stays as it was until then. While the merge runs Button5 stops it.
// A set whose record names a recovery piece may have one piece missing, short or altered: it is
// rebuilt while joining, and the user is asked whether to write it back.
void MergePieces(Services& svc, SplitterView& view, FileDialogOptions& saveDialog1,
                 std::string& indexPath, WorkHost& host, SplitterWork& work);

// "校验分割文件": checks the listed set against its record on a worker, with the percentage in
// the caption; the notice says "完好" or names the bad pieces and whether they can be rebuilt.
// Nothing is written. Refused while other work runs.
void VerifyPieces(Services& svc, SplitterView& view, WorkHost& host, SplitterWork& work);

}  // namespace mt::splitter
