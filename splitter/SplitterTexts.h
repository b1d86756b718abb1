// Every text the "分割文件" page shows: captions, button captions and notices (Simplified
// Chinese, UTF-8). A "%s" is filled by FormatMessage1/FormatMessage2.
#pragma once

namespace mt::splitter {

inline constexpr const char* kFolderTitle = "选择保存目录:";
inline constexpr const char* kSplittingCaption = "正在分割，请稍侯...";
inline constexpr const char* kSplitDoneCaption = "分割完成";
inline constexpr const char* kMergingCaption = "正在合并，请稍侯...";
inline constexpr const char* kMergeDoneCaption = "合并完成";
inline constexpr const char* kNegativeSizeText = "分割为每文件的大小不能是负数，请输入一个正整数。";
inline constexpr const char* kOutputIsInputText =
    "保存的文件不能是文件列表中的文件，请另选一个文件名。";
inline constexpr const char* kMissingPieceText =
    "缺少分割文件：%s\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
inline constexpr const char* kOutOfOrderText =
    "分割文件顺序不对：%s 应排在 %s 前面\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
inline constexpr const char* kNoIndexFirstText =
    "文件列表的第一个文件不是索引文件 0.ds：%s\n请按顺序选择 0.ds 和全部分割文件，合并没有进行。";
inline constexpr const char* kStopSplitText = "停止分割";
inline constexpr const char* kStopMergeText = "停止合并";
inline constexpr const char* kStopVerifyText = "停止校验";
inline constexpr const char* kSplitButtonText = "分割文件";
inline constexpr const char* kMergeButtonText = "合并文件";
inline constexpr const char* kCloseWhileWorkingText =
    "文件正在分割或合并，还没有完成。\n要停止并关闭程序吗？未完成的文件会被删除。";
inline constexpr const char* kSourceChangedText =
    "要分割的文件在分割过程中被改动了（大小变了），分割没有完成：%s\n"
    "请在文件不再被改动时重新分割。";
// Notices of a checked merge; each names the piece and says what is wrong with it.
inline constexpr const char* kIndexDamagedText =
    "索引文件 0.ds 中的校验信息不完整或无法识别：%s\n合并没有进行。";
inline constexpr const char* kPieceNotListedText =
    "缺少分割文件：%s\n这一组共有 %s 个分割文件，请按顺序全部选择，合并没有进行。";
inline constexpr const char* kPieceExtraText =
    "文件列表中多了一个文件：%s\n它不属于这一组分割文件，合并没有进行。";
inline constexpr const char* kPieceGoneText =
    "分割文件无法打开（已被删除、移走或正在使用）：%s\n合并没有进行。";
inline constexpr const char* kPieceSizeText =
    "分割文件大小不对：%s\n应为 %s 字节，实际为 %s 字节，文件不完整或不是这一组的分割文件。"
    "合并没有进行。";
inline constexpr const char* kPieceHashText =
    "分割文件内容不对：%s\n文件已损坏、被改动、顺序被调换或不是这一组的分割文件。"
    "合并已停止，未完成的合并文件已删除。";
inline constexpr const char* kWholeHashText =
    "合并后的文件与分割时记录的校验值不符，合并已停止，未完成的合并文件已删除。";
// The recovery piece.
inline constexpr const char* kRecoveryBoxText = "生成恢复文件";
inline constexpr const char* kRebuiltText =
    "分割文件缺少或已损坏：%s\n已用恢复文件重建了它的内容，合并完成。\n"
    "要把修复好的分割文件写回原处吗？";
inline constexpr const char* kTooManyBadText =
    "这些分割文件缺少或已损坏：\n%s\n一个恢复文件只能修复一个分割文件，合并没有进行。";
inline constexpr const char* kTooManyBadLateText =
    "这些分割文件缺少或已损坏：\n%s\n一个恢复文件只能修复一个分割文件。"
    "合并已停止，未完成的合并文件已删除。";
inline constexpr const char* kNoRecoveryText =
    "分割文件缺少或已损坏：%s\n恢复文件缺少或大小不对：%s\n无法重建，合并没有进行。";
inline constexpr const char* kRecoveryDamagedText =
    "用恢复文件重建的分割文件与记录的校验值不符：%s\n恢复文件已损坏：%s\n"
    "合并已停止，未完成的合并文件已删除。";
inline constexpr const char* kWriteBackCaption = "正在写回分割文件，请稍侯...";
inline constexpr const char* kWriteBackDoneCaption = "写回完成";
// "校验分割文件" in the list's context menu.
inline constexpr const char* kVerifyMenuText = "校验分割文件";
inline constexpr const char* kVerifyingCaption = "正在校验，请稍侯...";
inline constexpr const char* kVerifyDoneCaption = "校验完成";
inline constexpr const char* kSetWholeText = "完好";
inline constexpr const char* kSetWholeRecoveryBadText = "分割文件完好，但恢复文件缺少或已损坏：%s";
inline constexpr const char* kSetBadText = "这些分割文件缺少或已损坏：\n%s\n%s";
inline constexpr const char* kCanRebuildText = "可以用恢复文件重建，合并时会自动重建。";
inline constexpr const char* kTooManyToRebuildText = "一个恢复文件只能修复一个分割文件，无法重建。";
inline constexpr const char* kRecoveryAlsoBadText = "恢复文件缺少或已损坏，无法重建：%s";
inline constexpr const char* kNoRecoveryPieceText = "这一组分割文件没有恢复文件，无法重建。";
inline constexpr const char* kVerifyNoIndexText =
    "文件列表的第一个文件不是索引文件 0.ds，无法校验。请先选择 0.ds 和它的分割文件。";
inline constexpr const char* kVerifyNoRecordText =
    "索引文件 0.ds 中没有校验信息（较早的版本分割的文件），无法校验：%s";
inline constexpr const char* kVerifyIndexDamagedText =
    "索引文件 0.ds 中的校验信息不完整或无法识别：%s\n校验没有进行。";

}  // namespace mt::splitter
