// The wording of what the merge and the check found: each problem into the notice that names
// it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "splitter/CheckedMerge.h"
#include "splitter/MergeList.h"
#include "splitter/SetCheck.h"

namespace mt::splitter {

// The notice for a list that cannot be joined as it stands.
std::string ListProblemText(const ListProblem& problem);
// The notice for a piece that does not match the Index piece's record.
std::string PieceProblemText(const PieceProblem& problem, uint64_t pieceCount);
// One line per bad piece: its path and what is wrong with it.
std::string BadPieceLines(const std::vector<PieceProblem>& problems);
// The notice for bad pieces beyond what the recovery piece repairs: `late` once the output was
// begun (and removed again), otherwise before anything was written.
std::string TooManyBadText(const std::vector<PieceProblem>& problems, bool late);
// The notice of "校验分割文件".
std::string SetCheckText(const SetCheck& check);

}  // namespace mt::splitter
