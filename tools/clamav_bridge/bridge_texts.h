// The bridge's console texts (UTF-8).
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
inline constexpr const char kErrorMissingPath[] = " 后面缺少路径.";
inline constexpr const char kErrorNoTarget[] = "没有扫描目标: 请给出路径或 /ad, /adl, /adn.";
inline constexpr const char kErrorNothingScanned[] = "没有扫描任何文件.";

// clamscan missing or failing.
inline constexpr const char kErrorMissingClamscanPosix[] =
    "找不到 ClamAV 的扫描程序 clamscan. 请安装软件包 clamav (例如 sudo apt install clamav), "
    "再运行 freshclam 下载病毒库.";
inline constexpr const char kErrorMissingClamscanWindows[] =
    "找不到 ClamAV 的扫描程序 clamscan.exe. 请安装 ClamAV (https://www.clamav.net/downloads, "
    "默认安装到 C:\\Program Files\\ClamAV), 再运行 freshclam 下载病毒库.";
inline constexpr const char kErrorOverrideMissing[] =
    "环境变量 QUORVEL_CLAMSCAN 指向的程序不存在: ";
inline constexpr const char kErrorStart[] = "无法启动 ";
inline constexpr const char kErrorReport[] = "无法创建报告文件 ";
inline constexpr const char kErrorTargetMissing[] = "扫描目标不存在: ";
inline constexpr const char kErrorNoDatabase[] =
    "ClamAV 没有可用的病毒库. 请运行 freshclam 下载病毒库, 或用 -d <目录> 指定病毒库.";

// The scan as it goes, and its end.
inline constexpr const char kInfectedMark[] = "发现病毒 >> ";
inline constexpr const char kSummaryHeading[] = "----------- 扫描结果 -----------";
inline constexpr const char kSummaryFiles[] = "已扫描的文件: ";
inline constexpr const char kSummaryInfected[] = "受感染的文件: ";
inline constexpr const char kSummaryErrors[] = "错误: ";
inline constexpr const char kSummaryTime[] = "用时: ";
inline constexpr const char kHours[] = " 小时 ";
inline constexpr const char kMinutes[] = " 分 ";
inline constexpr const char kSeconds[] = " 秒";
// After an error, before the console closes.
inline constexpr const char kPressAnyKey[] = "按任意键关闭";

// /virlist.
inline constexpr const char kVirusListVersion[] = "ClamAV 版本/病毒库: ";
inline constexpr const char kVirusListCount[] = "病毒特征数: ";
inline constexpr const char kVirusListFailed[] = "无法读取 ClamAV 的病毒库:";
inline constexpr const char kFreshclamHint[] =
    "用 freshclam 下载病毒库, 或用 -d <目录> 指定病毒库.";

// Which engine scans: the running ClamAV daemon or clamscan, and why.
inline constexpr const char kEngineDaemon[] = "扫描引擎: ClamAV 守护进程 clamd ";
inline constexpr const char kEngineClamscan[] = "扫描引擎: clamscan, ";
inline constexpr const char kEngineNoConfig[] = "没有找到 clamd 的配置文件";
inline constexpr const char kEngineOff[] = "环境变量 QUORVEL_CLAMD_CONF 为空, 不使用守护进程";
inline constexpr const char kEngineNoSocket[] = "clamd 的配置文件没有 LocalSocket 或 TCPSocket";
inline constexpr const char kEngineNotAnswering[] = "ClamAV 守护进程没有应答: ";
inline constexpr const char kEngineClamscanOptions[] = "附加参数是给 clamscan 的";
inline constexpr const char kEngineNoArchives[] = "/unzip: 守护进程不扫描压缩文件";
inline constexpr const char kEngineArchives[] =
    "守护进程也扫描压缩文件, 而删除或移动只能用于要求扫描的文件";
inline constexpr const char kEngineNoMail[] = "/mime: 守护进程不扫描邮件文件";
inline constexpr const char kEngineMail[] =
    "守护进程也扫描邮件文件, 而删除或移动只能用于要求扫描的文件";
inline constexpr const char kEngineNoOle2[] = "守护进程不扫描 Office 文档 (ScanOLE2 no)";
inline constexpr const char kEngineOle2[] =
    "/nodoc: 守护进程也扫描 Office 文档, 而删除或移动只能用于要求扫描的文件";
// The daemon in the middle of a scan.
inline constexpr const char kDaemonLost[] = "ClamAV 守护进程不再应答, 扫描没有完成: ";
inline constexpr const char kDaemonTimeout[] = "等待应答超时";
inline constexpr const char kDaemonClosed[] = "连接已关闭";
inline constexpr const char kDaemonNoAddress[] = "找不到该地址";
inline constexpr const char kDaemonStrangeReply[] = "无法理解的应答: ";
inline constexpr const char kDaemonReadFailed[] = "无法读取文件";

}  // namespace bridge::texts
