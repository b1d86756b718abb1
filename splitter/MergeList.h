// The rules of the merge list (ListBox1): the order a selection is listed in, the rows a merge
// joins, the checks of their order, the output that must not be a listed file, and the plain
// join of a set without a record.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Services.h"
#include "splitter/CopyEngine.h"

namespace mt::splitter {

// One confirmed selection in the order the list keeps it: "<number>.ds" names in numeric
// order first (0.ds, 1.ds, ..., 9.ds, 10.ds), then every other name in the given order.
std::vector<std::string> OrderSelection(const std::vector<std::string>& selection);

// The rows a merge joins: every row after the first except Index pieces, in list order.
std::vector<std::string> RowsToJoin(const std::vector<std::string>& listRows);

// What keeps a list from being joined as it stands.
struct ListProblem {
  enum Kind {
    kNoIndexFirst,  // the first row, which the join skips, is a data piece: `piece` is that row
    kMissing,       // `piece` (a path in the folder of its set) is not listed where it is needed
    kOutOfOrder,    // `piece` is listed, but only after `before`, a later piece of its set
  };
  Kind kind;
  std::string piece;
  std::string before;
};

// Checks the ListBox1 rows before a merge. The first row must not be a data piece. Then the
// numbered rows of each folder, in list order, must follow one another (1.ds, 2.ds, 3.ds, ...);
// a number at or below one already passed starts the run again (a set listed twice). A row
// that jumps ahead is out of order when the piece it skips comes later in the list, otherwise
// that piece is missing. Folders compare without regard to case, "\" and "/" alike; rows of
// other names are not looked at.
std::optional<ListProblem> CheckListOrder(const std::vector<std::string>& listRows);

// True when both paths name the same file (full paths, "\" and "/" alike, any case).
bool SameFile(FileSystem& files, const std::string& a, const std::string& b);

// True when `target` is one of `rows` and so must not be created over: by its path text, or,
// when the target exists, by its file identity, however either is spelled.
bool IsListedFile(FileSystem& files, const std::string& target,
                  const std::vector<std::string>& rows);

// Appends the whole of every row to `output`, in order, through one engine.
void AppendRows(FileSystem& files, FileStream& output, const std::vector<std::string>& rows,
                CopyMonitor* monitor = nullptr);

}  // namespace mt::splitter
