// The bridge's texts (UTF-8). Virus names stay ClamAV's own.
#pragma once

namespace bridge::texts {

// What ClamAV cannot do: the scan goes on without these switches.
inline constexpr const char kNoteClean[] =
    "/clean: ClamAV 不能从受感染文件中清除病毒, 扫描不使用此选项.";
inline constexpr const char kNoteBoot[] =
    "/boot: ClamAV 不能扫描引导区和主引导记录, 扫描不使用此选项.";
inline constexpr const char kNoteStreams[] = "/streams: ClamAV 不能扫描 NTFS 流, 扫描不使用此选项.";
inline constexpr const char kNoteNoDrives[] = "没有找到要扫描的驱动器.";

// Argument errors; nothing is scanned after them.
inline constexpr const char kErrorUnknownSwitch[] = "未知的开关: ";
inline constexpr const char kErrorUnknownOption[] =
    "不支持的附加参数: %s. 支持的附加参数: -d <病毒库>, --database=<病毒库>, "
    "--exclude=<模式>, --exclude-dir=<模式>, --max-filesize=<大小>, --max-scansize=<大小>.";
inline constexpr const char kErrorMissingValue[] = " 后面缺少值.";
inline constexpr const char kErrorBadSize[] = "无法理解的大小 (例如 100M, 2G): ";
inline constexpr const char kErrorBadPattern[] = "无法理解的模式: ";
// Why a pattern of --exclude or --exclude-dir is refused, in brackets after it.
inline constexpr const char kPatternUnmatchedOpen[] = "缺少 )";
inline constexpr const char kPatternUnmatchedClose[] = "多余的 )";
inline constexpr const char kPatternUnmatchedBracket[] = "缺少 ]";
inline constexpr const char kPatternNothingToRepeat[] = "*, +, ? 或 { 前面没有可重复的内容";
inline constexpr const char kPatternBadRepeat[] = "无法理解的重复次数 {m,n} (最多 255)";
inline constexpr const char kPatternBadRange[] = "方括号中的范围无效";
inline constexpr const char kPatternBracketNotAscii[] = "方括号中只能使用 ASCII 字符";
inline constexpr const char kPatternUnknownClass[] = "未知的字符类 [:名称:]";
inline constexpr const char kPatternCollating[] = "不支持 [. .] 和 [= =]";
inline constexpr const char kPatternTrailingBackslash[] = "模式以 \\ 结尾";
inline constexpr const char kPatternBackReference[] = "不支持反向引用 \\1 到 \\9";
inline constexpr const char kPatternWordBoundary[] = "不支持单词边界 \\b, \\B, \\<, \\>";
inline constexpr const char kPatternTooLarge[] = "模式过于复杂";
inline constexpr const char kErrorMissingPath[] = " 后面缺少路径.";
inline constexpr const char kErrorNoTarget[] = "没有扫描目标: 请给出路径或 /ad, /adl, /adn.";
inline constexpr const char kErrorNothingScanned[] = "没有扫描任何文件.";

// The engine missing or failing.
inline constexpr const char kErrorMissingClamscanWindows[] =
    "找不到 ClamAV 的扫描程序 clamscan.exe. 请安装 ClamAV (https://www.clamav.net/downloads, "
    "默认安装到 C:\\Program Files\\ClamAV), 再运行 freshclam.exe 下载病毒库 (步骤见 quorvel.txt "
    "中的“病毒库”).";
inline constexpr const char kErrorOverrideMissing[] =
    "环境变量 QUORVEL_CLAMSCAN 指向的程序不存在: ";
inline constexpr const char kErrorStart[] = "无法启动 ";
inline constexpr const char kErrorReport[] = "无法创建报告文件 ";
// After kErrorReport and the path, when the report's folder is missing.
inline constexpr const char kReportFolder[] = ": 文件夹 ";
inline constexpr const char kReportFolderMissing[] = " 不存在";
// A report that could not be written to the end.
inline constexpr const char kErrorReportWrite[] = "无法写入报告文件 ";
inline constexpr const char kReportCut[] = "报告在此中断: 写入失败 (";
// The report's first line: what the scan looks at.
inline constexpr const char kReportTargets[] = "扫描目标: ";
inline constexpr const char kReportLocalDrives[] = "所有本地驱动器";
inline constexpr const char kReportNetworkDrives[] = "所有网络驱动器";
// The walk's errors, after the path.
inline constexpr const char kTargetMissing[] = "扫描目标不存在";
inline constexpr const char kFolderMoved[] = "扫描时文件夹被移动或替换";
// What the walk leaves out, named once each.
inline constexpr const char kLeftOutOwn[] = "已跳过 (扫描程序自己的文件): ";
inline constexpr const char kLeftOutPseudo[] = "已跳过 (系统内核的虚拟文件系统): ";
// A target on such a file system, after its path.
inline constexpr const char kTargetOnPseudo[] = "未扫描: 位于系统内核的虚拟文件系统上, 类型 ";
// How the signatures are fetched, in the words of each system.
#ifdef _WIN32
#define QUORVEL_FRESHCLAM_STEPS                                                                     \
  "下载方法: 1. 以管理员身份打开命令提示符; 2. cd \"C:\\Program Files\\ClamAV\"; " \
  "3. copy conf_examples\\freshclam.conf.sample freshclam.conf, 再删除 freshclam.conf 中的 "   \
  "Example 一行; 4. 运行 freshclam.exe. 或用 -d <目录> 指定病毒库."
#else
#define QUORVEL_FRESHCLAM_STEPS                                                                                   \
  "请运行 sudo freshclam 下载病毒库 (Debian 的 clamav-freshclam 服务会在一小时内自动下载), " \
  "或用 -d <目录> 指定病毒库."
#endif
inline constexpr const char kErrorNoDatabase[] =
    "ClamAV 没有可用的病毒库. " QUORVEL_FRESHCLAM_STEPS;
inline constexpr const char kErrorEngine[] = "ClamAV 引擎出错: ";
// clamscan.exe ended without a line for a file.
inline constexpr const char kClamscanNoAnswer[] = "clamscan 没有报告此文件的扫描结果";
inline constexpr const char kClamscanExitCode[] = " (退出码 %d)";
inline constexpr const char kClamscanCrashed[] = " (clamscan 异常结束)";
inline constexpr const char kClamscanListFailed[] = "无法写入 clamscan 的文件列表: ";
inline constexpr const char kClamscanPathTooLong[] = "路径超过 1022 字节, clamscan 无法读取此文件";
inline constexpr const char kClamscanUnnamedFinds[] =
    "clamscan 报告发现 %zu 个感染文件, 但只指明了其中 %zu 个: 此文件的结果不可信";
inline constexpr const char kNoSignatures[] = "没有读到任何病毒特征: ";

// Each file's fate, one line each.
inline constexpr const char kClean[] = ": 正常";
inline constexpr const char kInfectedMark[] = "发现病毒 >> ";
inline constexpr const char kMovedTo[] = ", 已移动到 ";
inline constexpr const char kRemoved[] = ", 已删除";
inline constexpr const char kNotTreated[] = ", 未处理: ";
inline constexpr const char kIncompleteMark[] = "未完整扫描 >> ";
inline constexpr const char kErrorMark[] = "错误 >> ";
inline constexpr const char kSkippedSpecial[] = ": 跳过 (不是普通文件)";
inline constexpr const char kSkippedLink[] = ": 跳过 (链接)";

// Why a file was not (completely) scanned.
inline constexpr const char kShortfallUnreadable[] = "无法读取";
inline constexpr const char kShortfallGone[] = "扫描前文件已不存在";
inline constexpr const char kShortfallChanged[] = "扫描时文件被修改或替换";
inline constexpr const char kShortfallFileSize[] = "文件大于扫描引擎的文件大小上限";
inline constexpr const char kShortfallScanSize[] = "内容大于扫描引擎的扫描量上限";
inline constexpr const char kShortfallRecursion[] = "嵌套层数超过扫描引擎的上限";
inline constexpr const char kShortfallFiles[] = "包含的文件数超过扫描引擎的上限";
inline constexpr const char kShortfallTime[] = "扫描时间超过扫描引擎的上限";
inline constexpr const char kShortfallOtherLimit[] = "超过扫描引擎的上限";
inline constexpr const char kShortfallEngine[] = "扫描引擎出错";
inline constexpr const char kShortfallDaemonLost[] = "ClamAV 守护进程不再应答";
inline constexpr const char kShortfallDaemonPartial[] =
    "ClamAV 守护进程的应答不能说明其中的内容已完整扫描";
inline constexpr const char kShortfallEncrypted[] = "已加密";
// After kShortfallFileSize: a file inside was cut at the limit, the rest of it unread.
inline constexpr const char kMemberCut[] = "其中的文件只扫描了前 ";
inline constexpr const char kMemberCutBytes[] = " 字节: ";
// A worker process of the local engine ended while it scanned the file.
inline constexpr const char kWorkerEndedBySignal[] = "扫描进程意外结束, 信号 ";
inline constexpr const char kWorkerEndedWithCode[] = "扫描进程意外结束, 退出码 ";
// A worker process that did not answer within the time a file may take:
// "扫描进程超时未应答 (150 秒), 已结束".
inline constexpr const char kWorkerTimedOut[] = "扫描进程超时未应答 (";
inline constexpr const char kWorkerTimedOutEnd[] = " 秒), 已结束";
// A worker process that was to load a share of the signatures did not say
// it had within the time allowed.
inline constexpr const char kShardTimedOut[] = "扫描进程没有在时限内读完病毒特征";

// Why an infected file stays where it is.
inline constexpr const char kTreatNotSame[] = "该路径已不是扫描过的文件";
inline constexpr const char kTreatNoFreeName[] =
    "隔离目录中没有可用的文件名 (.001 到 .999 都已存在)";
inline constexpr const char kTreatMoveFailed[] = "无法移动: ";
inline constexpr const char kTreatRemoveFailed[] = "无法删除: ";
inline constexpr const char kTreatNoQuarantine[] = "无法打开隔离目录: ";
inline constexpr const char kTreatChangedWhileCopied[] = "复制时文件被修改";
inline constexpr const char kTreatStillThere[] = "文件仍在原处";
// The daemon scans deeper than the request (archives, mail, Office
// documents): its find is treated only once the local engine confirmed it.
inline constexpr const char kTreatNotConfirmed[] =
    "发现于所选选项不扫描的压缩文件, 邮件或 Office 文档内部, 按所选选项扫描未发现病毒";
inline constexpr const char kTreatConfirmIncomplete[] =
    "本机扫描引擎未能按所选选项完整扫描此文件, 无法确认此发现";
// After a find treated without a local engine to confirm it.
inline constexpr const char kTreatDeeperFind[] =
    " (ClamAV 守护进程以比所选选项更深的扫描发现此病毒, 没有本机扫描引擎可确认)";

// The end of a scan.
inline constexpr const char kSummaryHeading[] = "----------- 扫描结果 -----------";
inline constexpr const char kSummaryFiles[] = "已扫描的文件: ";
inline constexpr const char kSummaryInfected[] = "受感染的文件: ";
inline constexpr const char kSummaryTreated[] = "已处理的文件: ";
inline constexpr const char kSummaryIncomplete[] = "未完整扫描的文件: ";
inline constexpr const char kSummaryErrors[] = "错误: ";
inline constexpr const char kSummaryTime[] = "用时: ";
inline constexpr const char kHours[] = " 小时 ";
inline constexpr const char kMinutes[] = " 分 ";
inline constexpr const char kSeconds[] = " 秒";
inline constexpr const char kStopped[] = "扫描已停止";
// After an error, before the console closes.
inline constexpr const char kPressAnyKey[] = "按任意键关闭";

// /virlist.
inline constexpr const char kVirusListVersion[] = "ClamAV 版本/病毒库: ";
inline constexpr const char kVirusListCount[] = "病毒特征数: ";
inline constexpr const char kVirusListFailed[] = "无法读取 ClamAV 的病毒库:";
inline constexpr const char kFreshclamHint[] = QUORVEL_FRESHCLAM_STEPS;

// Which engine scans, and why.
inline constexpr const char kEngineLibrary[] = "扫描引擎: ClamAV 库 libclamav ";
inline constexpr const char kEngineClamscan[] = "扫描引擎: clamscan";
inline constexpr const char kEngineDaemon[] = "扫描引擎: ClamAV 守护进程 clamd ";
inline constexpr const char kEngineBecause[] = " (未使用守护进程: ";
inline constexpr const char kEngineNoConfig[] = "没有找到 clamd 的配置文件";
inline constexpr const char kEngineOff[] = "环境变量 QUORVEL_CLAMD_CONF 为空, 不使用守护进程";
inline constexpr const char kEngineNoSocket[] = "clamd 的配置文件没有 LocalSocket 或 TCPSocket";
inline constexpr const char kEngineNotAnswering[] = "ClamAV 守护进程没有应答: ";
inline constexpr const char kEngineOptions[] = "附加参数只用于本机的扫描引擎";
inline constexpr const char kEngineNoArchives[] = "/unzip: 守护进程不扫描压缩文件";
inline constexpr const char kEngineNoMail[] = "/mime: 守护进程不扫描邮件文件";
inline constexpr const char kEngineNoOle2[] = "守护进程不扫描 Office 文档 (ScanOLE2 no)";
inline constexpr const char kEngineNoPe[] = "守护进程不深入扫描 Windows 程序 (ScanPE no)";
inline constexpr const char kEngineNoElf[] = "守护进程不深入扫描 Linux 程序 (ScanELF no)";
inline constexpr const char kEngineNoPdf[] = "守护进程不扫描 PDF 文件的内部 (ScanPDF no)";
inline constexpr const char kEngineNoHtml[] = "守护进程不扫描 HTML 和脚本的内部 (ScanHTML no)";
inline constexpr const char kEngineNoSwf[] = "守护进程不扫描 Flash 文件的内部 (ScanSWF no)";
inline constexpr const char kEngineNoXmlDocs[] = "守护进程不扫描 XML 文档的内部 (ScanXMLDOCS no)";
inline constexpr const char kEngineNoHwp3[] = "守护进程不扫描 HWP 文档的内部 (ScanHWP3 no)";
inline constexpr const char kEngineNoImages[] =
    "守护进程不扫描 OneNote 文件或图片的内部 (ScanOneNote, ScanImage 或 ScanImageFuzzyHash no)";
inline constexpr const char kEngineNoHeuristics[] = "守护进程关闭了启发式检测 (HeuristicAlerts no)";
// Why the daemon's "OK" for an archive, a document or a mail file is not
// the whole truth.
inline constexpr const char kDaemonNoExceedsMax[] =
    "守护进程不报告超过其上限的内容 (AlertExceedsMax no)";
inline constexpr const char kDaemonNoEncrypted[] =
    "守护进程不报告加密的压缩文件和文档 (AlertEncrypted no)";
inline constexpr const char kDaemonCutsMembers[] =
    "守护进程不加报告地截短压缩文件中大于其上限的成员: MaxFileSize ";
// Neither the daemon nor a local engine: the daemon's reason comes first.
inline constexpr const char kEngineDaemonUnused[] = "未使用 ClamAV 守护进程: ";
// After the reason the daemon is not used, when none is installed or answers.
#ifdef _WIN32
inline constexpr const char kEngineDaemonHint[] =
    "; 在 ClamAV 的安装文件夹中配置 clamd.conf 并启动 clamd.exe 后, 扫描会立即开始";
#else
inline constexpr const char kEngineDaemonHint[] =
    "; 安装并启动 clamav-daemon (sudo apt install clamav-daemon) 后, 扫描会立即开始";
#endif
// After the reason the daemon is not used, when its configuration is there
// but it does not answer.
#ifdef _WIN32
inline constexpr const char kEngineDaemonStartHint[] =
    "; 启动 clamd.exe 后 (首次启动要先加载病毒库, 约需一分钟), 扫描会立即开始";
#else
inline constexpr const char kEngineDaemonStartHint[] =
    "; clamav-daemon 已安装但没有运行: 运行 sudo systemctl start clamav-daemon 后 "
    "(首次启动要先加载病毒库, 约需一分钟), 扫描会立即开始";
#endif
// The same, for a daemon on another machine (TCPAddr names one).
inline constexpr const char kEngineDaemonRemoteHint[] =
    "; 请确认该计算机上的 ClamAV 守护进程正在运行, 且可以通过网络连接到它";
// /virlist while the daemon answers and no local ClamAV can list.
#ifdef _WIN32
inline constexpr const char kVirusListNeedsLocal[] =
    "显示病毒列表需要本机的 ClamAV (clamscan.exe 和病毒库); 守护进程只扫描, 不列出病毒库.";
#else
inline constexpr const char kVirusListNeedsLocal[] =
    "显示病毒列表需要本机的 ClamAV 病毒库 (sigtool 和 libclamav 读取的病毒库); 守护进程只扫描, "
    "不列出病毒库.";
#endif
inline constexpr const char kVirusListDaemon[] = "ClamAV 守护进程 ";
inline constexpr const char kVirusListDaemonVersion[] = " 的版本/病毒库: ";
// The daemon in the middle of a scan.
inline constexpr const char kDaemonLost[] = "ClamAV 守护进程不再应答, 其余文件由本机扫描引擎扫描: ";
inline constexpr const char kDaemonLostNoLocal[] = "ClamAV 守护进程不再应答, 其余文件没有扫描: ";
inline constexpr const char kDaemonTimeout[] = "等待应答超时";
inline constexpr const char kDaemonClosed[] = "连接已关闭";
inline constexpr const char kDaemonNoAddress[] = "找不到该地址";
inline constexpr const char kDaemonStrangeReply[] = "无法理解的应答: ";
inline constexpr const char kDaemonReadFailed[] = "无法读取文件";
// Why a file was not sent to the daemon: "ClamAV 守护进程的上限 MaxFileSize 25M".
inline constexpr const char kDaemonLimit[] = "ClamAV 守护进程的上限 ";
// A system error without words of its own, before its number.

}  // namespace bridge::texts
