// The bridge's verdict is the truth: a corpus made at run time, each case
// scanned by the bridge program with ClamAV's library and through a ClamAV
// daemon of the test's own (Debian's stock limits). No case may end in
// "nothing found", lose a file or name the wrong one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/clamd_config.h"
#include "bridge/ledger_writer.h"
#include "bridge/texts.h"
#include "tests/bridge/bridge_test_support.h"
#include "tests/bridge/own_clamd.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct BridgeRun {
  int code = -1;
  std::string console;
};

// The bridge program with args and the daemon's configuration (empty: none);
// as the user nobody when asked and run as root (the corpus must then be
// readable for it), so that a file without permissions cannot be read.
BridgeRun RunBridge(const Strings& args, const std::string& clamdConf, const std::string& output,
                    bool asNobody = false) {
  const std::string program = bridge_testing::BridgePath();
  std::vector<std::string> env = {std::string(bridge::kClamdConfigOverride) + "=" + clamdConf,
                                  "PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
  // A sanitized build's options (the leak checker's suppressions) hold for
  // the bridge too.
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
  }
  std::vector<char*> envp, argv = {const_cast<char*>(program.c_str())};
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const passwd* nobody = getpwnam("nobody");
  const uid_t uid = nobody ? nobody->pw_uid : 65534;
  const gid_t gid = nobody ? nobody->pw_gid : 65534;
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) _exit(126);
    if (asNobody && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
      _exit(125);
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  BridgeRun run;
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    run.code = WEXITSTATUS(status);
  run.console = ReadTextFile(output);
  return run;
}

void WriteFile(const std::string& path, const std::string& content, uint64_t size = 0) {
  fs::create_directories(fs::path(path).parent_path());
  WriteTextFile(path, content);
  // The rest of a large file is a hole: cheap to make, read as zeros.
  if (size > content.size()) fs::resize_file(path, size);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The line of an infected file, without what became of it.
std::string FoundLine(const std::string& path) {
  return bridge::texts::kInfectedMark + path + ": Eicar-Test-Signature";
}

// The whole line of the report that starts as given; empty when none does.
std::string LineOf(const std::string& report, const std::string& start) {
  const size_t at = report.find("\n" + start);
  if (at == std::string::npos)
    return report.compare(0, start.size(), start) == 0 ? report.substr(0, report.find('\n')) : "";
  return report.substr(at + 1, report.find('\n', at + 1) - at - 1);
}

// A ZIP archive of stored members; encrypted, with PKWARE's traditional
// encryption under the password "infected".
std::string ZipArchive(const std::vector<std::pair<std::string, std::string>>& members,
                       bool encrypted = false) {
  const auto crc32 = [](uint32_t crc, unsigned char c) {
    crc ^= c;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    return crc;
  };
  const auto put = [](std::string& to, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) to += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  std::string zip, directory;
  for (const auto& [name, content] : members) {
    uint32_t crc = 0xFFFFFFFF;
    for (unsigned char c : content) crc = crc32(crc, c);
    crc = ~crc;
    std::string data = content;
    if (encrypted) {
      uint32_t keys[3] = {0x12345678, 0x23456789, 0x34567890};
      const auto update = [&](unsigned char c) {
        keys[0] = crc32(keys[0], c);
        keys[1] = (keys[1] + (keys[0] & 0xFF)) * 134775813 + 1;
        keys[2] = crc32(keys[2], static_cast<unsigned char>(keys[1] >> 24));
      };
      for (unsigned char c : std::string("infected")) update(c);
      data.clear();
      for (unsigned char c : std::string(11, 'x') + static_cast<char>(crc >> 24) + content) {
        const uint32_t t = (keys[2] | 2) & 0xFFFF;
        data += static_cast<char>(c ^ static_cast<unsigned char>((t * (t ^ 1)) >> 8));
        update(c);
      }
    }
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    for (std::string* to : {&zip, &directory}) {
      const bool central = to == &directory;
      put(*to, central ? 0x02014b50 : 0x04034b50, 4);
      if (central) put(*to, 20, 2);
      for (const uint32_t field : {20u, encrypted ? 1u : 0u, 0u}) put(*to, field, 2);
      put(*to, 0, 4);
      for (const size_t field : {size_t{crc}, data.size(), content.size()})
        put(*to, static_cast<uint32_t>(field), 4);
      put(*to, static_cast<uint32_t>(name.size()), 2);
      put(*to, 0, 2);
      if (central)
        put(*to, 0, 2), put(*to, 0, 2), put(*to, 0, 2), put(*to, 0, 4), put(*to, offset, 4);
      *to += name;
    }
    zip += data;
  }
  const uint32_t start = static_cast<uint32_t>(zip.size());
  zip += directory;
  put(zip, 0x06054b50, 4);
  put(zip, 0, 4);
  put(zip, static_cast<uint32_t>(members.size()), 2);
  put(zip, static_cast<uint32_t>(members.size()), 2);
  put(zip, static_cast<uint32_t>(directory.size()), 4);
  put(zip, start, 4);
  put(zip, 0, 2);
  return zip;
}

// A ZIP archive holding one file, stored as it is.
std::string ZipOf(const std::string& name, const std::string& content) {
  return ZipArchive({{name, content}});
}

class BridgeTruthTest : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    shared_ = std::make_unique<TempDir>();
    database_ = shared_->Join("signatures");
    bridge_testing::WriteEicarDatabase(database_, true);
    if (bridge_testing::OwnClamd::Program().empty()) return;
    daemon_ = std::make_unique<bridge_testing::OwnClamd>();
    std::string problem;
    if (!daemon_->Start(shared_->path(), database_, &problem)) {
      daemonProblem_ = problem;
      daemon_.reset();
      return;
    }
    // The library takes over from the daemon with the daemon's signatures.
    clamdConf_ = shared_->Join("bridge-clamd.conf");
    daemon_->WriteBridgeConfig(
        clamdConf_, false,
        std::string(bridge_testing::kDebianClamdLimits) + "DatabaseDirectory " + database_ + "\n");
  }
  static void TearDownTestSuite() {
    daemon_.reset();
    shared_.reset();
  }

  void SetUp() override {
    if (GetParam() && !daemon_) GTEST_SKIP() << "no ClamAV daemon: " << daemonProblem_;
    // Readable for the case run as nobody.
    chmod(dir_.path().c_str(), 0755);
    chmod(shared_->path().c_str(), 0755);
    chmod(database_.c_str(), 0755);
    files_ = dir_.Join("files");
    report_ = dir_.Join("report.txt");
  }

  BridgeRun Scan(Strings args, bool asNobody = false) {
    args.insert(args.end(), {"/report", report_, "-d", database_});
    // The daemon path takes no extra parameters: its database is its own.
    if (GetParam()) args.resize(args.size() - 2);
    return RunBridge(args, GetParam() ? clamdConf_ : std::string(), dir_.Join("console.txt"),
                     asNobody);
  }
  std::string Report() const { return ReadTextFile(report_); }

  static std::unique_ptr<TempDir> shared_;
  static std::unique_ptr<bridge_testing::OwnClamd> daemon_;
  static std::string database_, clamdConf_, daemonProblem_;
  TempDir dir_;
  std::string files_, report_;
};

std::unique_ptr<TempDir> BridgeTruthTest::shared_;
std::unique_ptr<bridge_testing::OwnClamd> BridgeTruthTest::daemon_;
std::string BridgeTruthTest::database_, BridgeTruthTest::clamdConf_,
    BridgeTruthTest::daemonProblem_;

TEST_P(BridgeTruthTest, InfectedFilesAreFoundWhereverTheyLie) {
  const std::string eicar = bridge_testing::EicarTestFile();
  std::string deep = files_;
  for (int level = 0; level < 30; ++level) deep += "/d" + std::to_string(level);
  const struct {
    const char* name;
    std::string path;
    uint64_t size;
  } cases[] = {
      {"30 folders deep", deep + "/eicar.com", 0},
      // Past the daemon's MaxFileSize of 25 MB, within the library's 100 MB.
      {"30 MB", files_ + "/big.iso", 30u << 20},
      // Names that pose as another file or as the summary.
      {"newline", files_ + "/evil\n" + files_ + "/innocent.doc", 0},
      {"summary heading", files_ + "/a\n" + bridge::texts::kSummaryHeading, 0},
  };
  for (const auto& c : cases) WriteFile(c.path, eicar, c.size);
  WriteFile(files_ + "/innocent.doc", "nothing\n");

  const BridgeRun run = Scan({files_, "/sub"});
  EXPECT_EQ(run.code, 13) << run.console;
  const std::string report = Report();
  for (const auto& c : cases) {
    EXPECT_TRUE(Has(report, FoundLine(bridge::EscapedPath(c.path, bridge::PathStyle::kPosix))))
        << c.name << "\n"
        << report;
    EXPECT_TRUE(FileExists(c.path)) << c.name;
  }
  // Each line is one file: none blames the innocent one, none is a second summary.
  EXPECT_FALSE(Has(report, "\n" + FoundLine(files_ + "/innocent.doc"))) << report;
  EXPECT_EQ(report.find(std::string("\n") + bridge::texts::kSummaryHeading),
            report.rfind(std::string("\n") + bridge::texts::kSummaryHeading));
  EXPECT_TRUE(Has(report, std::string(bridge::texts::kSummaryInfected) + "4")) << report;
}

TEST_P(BridgeTruthTest, WhatIsNotCompletelyScannedIsNeverClean) {
  // Over ClamAV's own file size limit of 100 MB; a folder and a file nobody may read.
  const std::string huge = files_ + "/huge.img";
  WriteFile(huge, bridge_testing::EicarTestFile(), 150u << 20);
  WriteFile(files_ + "/fine.txt", "nothing\n");
  const std::string lockedFile = files_ + "/locked.txt", lockedFolder = files_ + "/locked";
  WriteFile(lockedFile, "secret\n");
  WriteFile(lockedFolder + "/inside.txt", "secret\n");
  for (const std::string& path : {files_, huge, files_ + "/fine.txt"})
    chmod(path.c_str(), fs::is_directory(path) ? 0755 : 0644);
  chmod(lockedFile.c_str(), 0);
  chmod(lockedFolder.c_str(), 0);
  chmod(dir_.path().c_str(), 0777);  // the report, written as nobody

  const BridgeRun run = Scan({files_, "/sub", "/rptcor", "/rpterr"}, true);
  EXPECT_EQ(run.code, 2) << run.console;
  const std::string report = Report();
  for (const std::string& named : {huge, lockedFile, lockedFolder})
    EXPECT_TRUE(Has(report, named + ": ")) << named << "\n" << report;
  EXPECT_TRUE(Has(report, std::string(bridge::texts::kIncompleteMark) + huge + ": " +
                              bridge::texts::kShortfallFileSize))
      << report;
  EXPECT_FALSE(Has(run.console, "\n" + huge + bridge::texts::kClean)) << run.console;
}

TEST_P(BridgeTruthTest, TreatmentActsOnTheScannedFileAndReplacesNothing) {
  // A link as the target with /del: the file it names goes, the link stays.
  const std::string real = files_ + "/real/eicar.com", link = files_ + "/link.com";
  WriteFile(real, bridge_testing::EicarTestFile());
  fs::create_symlink(real, link);
  BridgeRun run = Scan({link, "/del"});
  EXPECT_EQ(run.code, 13) << run.console;
  EXPECT_FALSE(FileExists(real));
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_TRUE(Has(LineOf(Report(), FoundLine(link)), bridge::texts::kRemoved)) << Report();

  // A quarantine whose every name is taken: the file stays, nothing is replaced.
  const std::string quarantine = dir_.Join("quarantine"), victim = files_ + "/eicar.com";
  WriteFile(victim, bridge_testing::EicarTestFile());
  fs::create_directories(quarantine);
  for (int n = 0; n < 1000; ++n) {
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ".%03d", n);
    WriteTextFile(quarantine + "/eicar.com" + (n == 0 ? "" : suffix), "kept");
  }
  run = Scan({victim, "/move", quarantine});
  EXPECT_EQ(run.code, 13) << run.console;
  EXPECT_TRUE(FileExists(victim));
  EXPECT_EQ(ReadTextFile(quarantine + "/eicar.com.999"), "kept");
  EXPECT_TRUE(Has(LineOf(Report(), FoundLine(victim)), bridge::texts::kNotTreated)) << Report();
}

TEST_P(BridgeTruthTest, MovedOnlyWhatTheChosenOptionsFind) {
  // Without /unzip an infected archive is not moved: the daemon looks into
  // it all the same, and its find is named but left where it is.
  const std::string archive = files_ + "/eicar.zip", plain = files_ + "/eicar.com";
  WriteFile(archive, ZipOf("inner.com", bridge_testing::EicarTestFile()));
  WriteFile(plain, bridge_testing::EicarTestFile());
  const std::string quarantine = dir_.Join("quarantine");
  fs::create_directories(quarantine);
  const BridgeRun run = Scan({files_, "/move", quarantine});
  EXPECT_EQ(run.code, 13) << run.console;
  EXPECT_TRUE(FileExists(archive));
  EXPECT_FALSE(FileExists(plain));
  EXPECT_TRUE(Has(LineOf(Report(), FoundLine(plain)), bridge::texts::kMovedTo)) << Report();
  const std::string archiveLine = LineOf(Report(), bridge::texts::kInfectedMark + archive + ": ");
  if (GetParam()) {
    EXPECT_TRUE(Has(archiveLine,
                    std::string(bridge::texts::kNotTreated) + bridge::texts::kTreatNotConfirmed))
        << Report();
  } else {
    EXPECT_EQ(archiveLine, "") << Report();
  }
}

TEST_P(BridgeTruthTest, ContainersPastTheLimitsOrEncryptedAreNeverClean) {
  // Past Debian's stock MaxRecursion, MaxFiles and file size limits, and
  // encrypted; EICAR as the last thing in each.
  const std::string eicar = bridge_testing::EicarTestFile();
  std::string nested = eicar;
  for (int level = 0; level < 20; ++level)
    nested = ZipArchive({{level == 0 ? "eicar.com" : "inner.zip", nested}});
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 0; i < 12000; ++i) many.emplace_back("m" + std::to_string(i), "nothing");
  many.emplace_back("eicar.com", eicar);
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/nested.zip", nested},
      {"/many.zip", ZipArchive(many)},
      {"/encrypted.zip", ZipArchive({{"eicar.com", eicar}}, true)},
  };
  for (const auto& [name, content] : cases) WriteFile(files_ + name, content);
  WriteFile(dir_.Join("eicar"), eicar);
  ASSERT_EQ(std::system(("{ head -c 115343360 /dev/zero; cat '" + dir_.Join("eicar") +
                         "'; } | gzip -1 > '" + files_ + "/zeros.gz'")
                            .c_str()),
            0);
  // Through the daemon also with no local engine to take over (no signatures for it).
  std::vector<std::string> configs = {GetParam() ? clamdConf_ : ""};
  if (GetParam()) {
    configs.push_back(dir_.Join("no-local.conf"));
    fs::create_directories(dir_.Join("empty"));
    daemon_->WriteBridgeConfig(configs.back(), false,
                               std::string(bridge_testing::kDebianClamdLimits) +
                                   "DatabaseDirectory " + dir_.Join("empty") + "\n");
  }
  if (GetParam()) {
    // Listing the signatures needs the local ClamAV's: the daemon's version instead.
    const BridgeRun list = RunBridge({"/virlist"}, configs.back(), dir_.Join("console.txt"));
    EXPECT_TRUE(Has(list.console, bridge::texts::kVirusListDaemonVersion + std::string("ClamAV ")))
        << list.console;
  }
  for (const std::string& conf : configs) {
    SCOPED_TRACE(conf);
    Strings args = {files_, "/sub", "/unzip", "/report", report_};
    if (!GetParam()) args.insert(args.end(), {"-d", database_});
    const BridgeRun run = RunBridge(args, conf, dir_.Join("console.txt"));
    EXPECT_TRUE(run.code == 2 || run.code == 13) << run.code << "\n" << run.console;
    for (const std::string name : {"/nested.zip", "/many.zip", "/encrypted.zip", "/zeros.gz"}) {
      EXPECT_FALSE(Has(run.console, files_ + name + bridge::texts::kClean)) << run.console;
      EXPECT_TRUE(Has(run.console, bridge::texts::kIncompleteMark + files_ + name + ": ") ||
                  Has(run.console, FoundLine(files_ + name)))
          << name << "\n"
          << run.console;
    }
  }
}

TEST_P(BridgeTruthTest, ArchivesReadOnlyInPartAreNeverClean) {
  if (GetParam()) GTEST_SKIP() << "the library engine's rule: the daemon has its own";
  // A member past the file size limit (10 MiB here), EICAR at its end: the
  // engine cuts it at the limit without an alert. And an encrypted member.
  const std::string big = dir_.Join("big.bin"), eicar = dir_.Join("eicar.com");
  WriteFile(big, "", 11u << 20);
  std::ofstream(big, std::ios::app) << bridge_testing::EicarTestFile();
  WriteFile(eicar, bridge_testing::EicarTestFile());
  fs::create_directories(files_);
  const std::string zip =
      "cd " + dir_.path() +
      " && zip -q files/big.zip big.bin && zip -q -P secret files/locked.zip eicar.com";
  ASSERT_EQ(std::system(zip.c_str()), 0) << "zip is needed";
  const BridgeRun run = Scan({files_, "/unzip", "/rptcor", "--max-filesize=10M"});
  EXPECT_EQ(run.code, 2) << run.console;
  for (const auto& [name, why] : {std::pair{"/big.zip", bridge::texts::kShortfallFileSize},
                                  std::pair{"/locked.zip", bridge::texts::kShortfallEncrypted}})
    EXPECT_TRUE(Has(Report(), bridge::texts::kIncompleteMark + files_ + name + ": " + why))
        << Report();
}

TEST(BridgeReportTest, AReportThatFailsAndAMissingTargetAreOneErrorEach) {
  TempDir dir;
  const std::string database = dir.Join("signatures"), clean = dir.Join("clean.txt");
  bridge_testing::WriteEicarDatabase(database);
  WriteFile(clean, "nothing\n");
  const struct {
    std::string target, report, said;
  } cases[] = {
      // A report whose every write fails, as on a full disk.
      {clean, "/dev/full", bridge::texts::kErrorReportWrite + std::string("/dev/full: ")},
      // A report in a folder that does not exist: the folder is named.
      {clean, dir.Join("nosuch/report.txt"),
       bridge::texts::kReportFolder + dir.Join("nosuch") + bridge::texts::kReportFolderMissing},
      // One missing target: one error, one line.
      {dir.Join("missing"), dir.Join("report.txt"),
       bridge::texts::kSummaryErrors + std::string("1")},
  };
  for (const auto& c : cases) {
    const BridgeRun run =
        RunBridge({c.target, "/report", c.report, "-d", database}, "", dir.Join("console.txt"));
    EXPECT_EQ(run.code, 2) << run.console;
    EXPECT_TRUE(Has(run.console, c.said)) << run.console;
    EXPECT_FALSE(Has(run.console, bridge::texts::kErrorNothingScanned)) << run.console;
  }
  // Every report begins with what is scanned.
  EXPECT_EQ(ReadTextFile(dir.Join("report.txt")).rfind(bridge::texts::kReportTargets, 0), 0u);
}

TEST_P(BridgeTruthTest, TheReportAndTheQuarantineInsideTheTargetAreNeverScanned) {
  // The quarantine holds a find of an earlier scan.
  // A backslash in its name: the left-out line escapes it once.
  const std::string quarantine = files_ + "/quar\\antine", plain = files_ + "/eicar.com";
  WriteFile(quarantine + "/old.com", bridge_testing::EicarTestFile());
  WriteFile(plain, bridge_testing::EicarTestFile());
  WriteFile(files_ + "/fine.txt", "nothing\n");
  report_ = files_ + "/report.txt";
  const BridgeRun run = Scan({files_, "/sub", "/move", quarantine});
  EXPECT_EQ(run.code, 13) << run.console;
  const std::string report = Report();
  EXPECT_TRUE(Has(report, std::string(bridge::texts::kSummaryInfected) + "1\n")) << report;
  EXPECT_FALSE(Has(report, bridge::texts::kShortfallChanged)) << report;
  EXPECT_FALSE(FileExists(quarantine + "/old.com.001"));
  EXPECT_EQ(ReadTextFile(quarantine + "/eicar.com"), bridge_testing::EicarTestFile());
  for (const std::string& own : {quarantine, report_}) {
    const std::string line =
        bridge::texts::kLeftOutOwn + bridge::EscapedPath(own, bridge::PathStyle::kPosix) + "\n";
    EXPECT_TRUE(Has(report, line) && report.find(line) == report.rfind(line)) << report;
  }
}

TEST(BridgeSilentDaemonTest, ADaemonThatNeverAnswersCountsAsNoneWithinSeconds) {
  // Connections are taken into the queue of a socket nobody accepts from.
  TempDir dir;
  const std::string socketPath = dir.Join("silent.sock"), database = dir.Join("signatures");
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 16), 0);
  bridge_testing::WriteEicarDatabase(database);
  WriteTextFile(dir.Join("clamd.conf"),
                "LocalSocket " + socketPath + "\nDatabaseDirectory " + database + "\n");
  WriteFile(dir.Join("files/eicar.com"), bridge_testing::EicarTestFile());

  const auto start = std::chrono::steady_clock::now();
  const BridgeRun run =
      RunBridge({dir.Join("files"), "/sub"}, dir.Join("clamd.conf"), dir.Join("console.txt"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(run.code, 13) << run.console;
  // The first line says why, and how to start the daemon that is there.
  const std::string first = run.console.substr(0, run.console.find('\n'));
  EXPECT_TRUE(Has(first, bridge::texts::kEngineNotAnswering)) << first;
  EXPECT_TRUE(Has(first, bridge::texts::kEngineDaemonStartHint)) << first;
  // With no local engine either: both reasons, the daemon's first.
  fs::remove_all(database);
  fs::create_directories(database);
  const BridgeRun none =
      RunBridge({dir.Join("files"), "/sub"}, dir.Join("clamd.conf"), dir.Join("console.txt"));
  EXPECT_EQ(none.code, 2) << none.console;
  const size_t daemonReason = none.console.find(bridge::texts::kEngineDaemonUnused +
                                                std::string(bridge::texts::kEngineNotAnswering));
  EXPECT_LT(daemonReason, none.console.find(bridge::texts::kErrorNoDatabase)) << none.console;
  close(listener);
}

INSTANTIATE_TEST_SUITE_P(Engines, BridgeTruthTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Daemon" : "Library");
                         });

}  // namespace
