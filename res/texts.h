// Every text the program shows or sends, in one place (UTF-8). Texts of the
// dialog templates live in main_dialog.inc and about_dialog.inc.
#pragma once

#include "res/version.h"

namespace texts {

// Window title and version.
inline constexpr const char kTitle[] = "Quorvel";
inline constexpr const char kVersion[] = "v" QUORVEL_VERSION;

// The scan worker's status texts; the two markers are never shown.
inline constexpr const char kStatusExecuting[] = "执行中";
inline constexpr const char kStatusThreadStart[] = "_THREAD_START_";
inline constexpr const char kStatusRunning[] = "运行中";
inline constexpr const char kStatusCreateProcessFailed[] = "CreateProcess(\"%s\") 失败.";
inline constexpr const char kStatusExitCodeFailed[] = "GetExitCodeProcess 失败";
inline constexpr const char kStatusThreadDone[] = "_THREAD_DONE_";

// Status line at the end of a scan, and the verdicts appended to it.
inline constexpr const char kStatusDone[] = "完成. 退出代码=%u. ";
inline constexpr const char kVerdictNothingFound[] = "没有发现";
inline constexpr const char kVerdictStopped[] = "停止执行";
inline constexpr const char kVerdictCrashed[] = "没有退出代码，崩溃了?";

// Questions before a scan.
inline constexpr const char kOverwriteReportText[] = "File \"%s\"\r\n已经存在,覆盖吗?";
inline constexpr const char kOverwriteReportCaption[] = "覆盖报告文件?";
inline constexpr const char kCreateDirectoryText[] = "Directory \"%s\"\r\n不存在,是否创建?";
inline constexpr const char kCreateDirectoryCaption[] = "创建目录吗?";

// Report file.
inline constexpr const char kDefaultReportName[] = "scan.txt";
inline constexpr const char kDeleteReportText[] = "删除报告文件\r\n\"%s\"?";
inline constexpr const char kDeleteReportCaption[] = "删除报告文件?";

// Error box: caption, the two lines appended for the system error, and the
// callers' texts.
inline constexpr const char kErrorBoxCaption[] = "错误信息...";
inline constexpr const char kErrorCodeLine[] = "\n\n系统错误代码: 0x%X";
inline constexpr const char kErrorMessageLine[] = "\n系统错误信息: %s";
inline constexpr const char kErrorCreateDirectory[] = "创建目录失败";
inline constexpr const char kErrorShellExecute[] = "ShellExecute 文件=\"%s\" 失败";
inline constexpr const char kErrorDeleteFile[] = "DeleteFile 失败";
inline constexpr const char kErrorCreateThread[] = "无法启动扫描线程";

// The about box's fixed block after the title and version: purpose, rights,
// licence, contact and localisation credit.
inline constexpr const char kAboutPurpose[] = "编写 Quorvel 是为了方便地启动命令行病毒扫描程序。";
inline constexpr const char kAboutRights[] = "版权所有 (C) 2026 Quorvel 的作者们";
inline constexpr const char kAboutLicence[] =
    "本程序是自由软件，其使用和分发遵循 quorvel.txt 中的许可条款。";
inline constexpr const char kAboutContact[] = "联系方式：请在本项目的问题跟踪系统中提交问题。";
inline constexpr const char kAboutCredit[] = "简体中文本地化：Quorvel 的作者们";

// Files beside the executable.
inline constexpr const char kScannerName[] = "scan.exe";
inline constexpr const char kReadmeName[] = "quorvel.txt";

// Linux: the desktop's opener of documents, and why it failed when it said
// nothing itself (the opener's name, its exit status).
inline constexpr const char kDocumentOpener[] = "xdg-open";
inline constexpr const char kOpenerExitStatus[] = "%s 退出状态 %u";

// Path choosers.
inline constexpr const char kBrowseTargetTitle[] = "选择扫描目录";
inline constexpr const char kBrowseDirectoryTitle[] = "选择目录";
// What a screen reader announces for the report's "..." button (the two
// folder buttons are announced by their pickers' titles).
inline constexpr const char kBrowseReportName[] = "选择报告文件";
inline constexpr const char kReportDefaultExtension[] = "txt";
inline constexpr const char kReportFilterText[] = "TXT 文件 (*.txt) ";
inline constexpr const char kReportFilterTextPattern[] = "*.txt";
inline constexpr const char kReportFilterAll[] = "所有文件 ";
inline constexpr const char kReportFilterAllPattern[] = "*.*";

}  // namespace texts
