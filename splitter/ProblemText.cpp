#include "splitter/ProblemText.h"

#include "app/Error.h"
#include "app/Path.h"
#include "splitter/SplitterTexts.h"

namespace mt::splitter {

std::string ListProblemText(const ListProblem& problem) {
  switch (problem.kind) {
    case ListProblem::kNoIndexFirst: return FormatMessage1(kNoIndexFirstText, problem.piece);
    case ListProblem::kOutOfOrder:
      return FormatMessage2(kOutOfOrderText, problem.piece, FileNameOf(problem.before));
    case ListProblem::kMissing: break;
  }
  return FormatMessage1(kMissingPieceText, problem.piece);
}

std::string PieceProblemText(const PieceProblem& p, uint64_t pieceCount) {
  switch (p.kind) {
    case PieceProblem::kNotListed:
      return FormatMessage2(kPieceNotListedText, p.piece, std::to_string(pieceCount));
    case PieceProblem::kExtra: return FormatMessage1(kPieceExtraText, p.piece);
    case PieceProblem::kGone: return FormatMessage1(kPieceGoneText, p.piece);
    case PieceProblem::kWrongSize:
      return FormatMessage2(FormatMessage1(kPieceSizeText, p.piece), std::to_string(p.expected),
                            std::to_string(p.actual));
    case PieceProblem::kWrongHash: return FormatMessage1(kPieceHashText, p.piece);
    case PieceProblem::kRecoveryDamaged:
      return FormatMessage2(kRecoveryDamagedText, p.piece, p.other);
    case PieceProblem::kNoRecovery: return FormatMessage2(kNoRecoveryText, p.piece, p.other);
    case PieceProblem::kWholeWrong: break;
  }
  return kWholeHashText;
}

std::string BadPieceLines(const std::vector<PieceProblem>& problems) {
  std::string out;
  for (const PieceProblem& p : problems) {
    if (!out.empty()) out += "\n";
    out += p.piece;
    switch (p.kind) {
      case PieceProblem::kNotListed: out += "（缺少）"; break;
      case PieceProblem::kGone: out += "（无法打开）"; break;
      case PieceProblem::kWrongSize: out += "（大小不对）"; break;
      default: out += "（内容不对）"; break;
    }
  }
  return out;
}

std::string TooManyBadText(const std::vector<PieceProblem>& problems, bool late) {
  return FormatMessage1(late ? kTooManyBadLateText : kTooManyBadText, BadPieceLines(problems));
}

std::string SetCheckText(const SetCheck& check) {
  if (check.bad.empty()) {
    if (check.recovery == SetCheck::kRecoveryMissing ||
        check.recovery == SetCheck::kRecoveryDamaged)
      return FormatMessage1(kSetWholeRecoveryBadText, check.recoveryPath);
    return kSetWholeText;
  }
  std::string verdict;
  if (check.recovery == SetCheck::kNoRecovery) verdict = kNoRecoveryPieceText;
  else if (check.recovery != SetCheck::kRecoveryGood)
    verdict = FormatMessage1(kRecoveryAlsoBadText, check.recoveryPath);
  else if (check.bad.size() > 1) verdict = kTooManyToRebuildText;
  else verdict = kCanRebuildText;
  return FormatMessage2(kSetBadText, BadPieceLines(check.bad), verdict);
}

}  // namespace mt::splitter
