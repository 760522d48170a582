// Whole scans through a real ClamAV daemon of the test's own (one for the
// whole program; skipped where clamd is not installed): what it finds, moves
// and leaves out, by descriptor and by stream, the fallbacks to clamscan with
// the same result, and a daemon that stops answering.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bridge.h"
#include "bridge_test_support.h"
#include "bridge_texts.h"
#include "clamd_config.h"
#include "own_clamd.h"
#include "test_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The daemon and its signature folder, for every test of the program.
class DaemonEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (bridge_testing::OwnClamd::Program().empty()) {
      problem = "clamd is not installed";
      return;
    }
    bridge_testing::WriteEicarDatabase(dir.Join("signatures"));
    if (!daemon.Start(dir.path(), dir.Join("signatures"), &problem)) daemon.Stop();
  }
  void TearDown() override { daemon.Stop(); }

  TempDir dir;
  bridge_testing::OwnClamd daemon;
  std::string problem;
};
DaemonEnvironment* g_daemon =
    static_cast<DaemonEnvironment*>(::testing::AddGlobalTestEnvironment(new DaemonEnvironment));

class BridgeClamdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_daemon->problem.empty()) GTEST_SKIP() << g_daemon->problem;
    std::string problem;
    SetEnv(bridge::kClamscanOverride, "");
    if (bridge::FindClamscan(&problem).empty()) GTEST_SKIP() << problem;
    // clamscan, where the bridge falls back to it, with the same signatures.
    const std::string clamscan = dir_.Join("clamscan");
    WriteTextFile(clamscan, "#!/bin/sh\nexec " + bridge::FindClamscan(&problem) + " -d '" +
                                g_daemon->dir.Join("signatures") + "' \"$@\"\n");
    fs::permissions(clamscan, fs::perms::owner_all);
    SetEnv(bridge::kClamscanOverride, clamscan);
    UseConfig(false);

    files_ = dir_.Join("files");
    fs::create_directories(files_ + "/sub");
    WriteTextFile(files_ + "/top.txt", "nothing\n");
    WriteTextFile(files_ + "/sub/below.txt", "nothing either\n");
    eicar_ = files_ + "/eicar.com";
    report_ = dir_.Join("report.txt");
  }
  void TearDown() override {
    SetEnv(bridge::kClamscanOverride, "");
    SetEnv(bridge::kClamdConfigOverride, "");
  }

  void UseConfig(bool tcp, const std::string& extra = {}) {
    g_daemon->daemon.WriteBridgeConfig(dir_.Join("clamd.conf"), tcp, extra);
    SetEnv(bridge::kClamdConfigOverride, dir_.Join("clamd.conf"));
  }

  int Run(const std::vector<std::string>& args) {
    console_.clear();
    return bridge::RunBridge(args, [&](const std::string& line, bool) { console_ += line + "\n"; });
  }

  std::string Log() const { return ReadTextFile(g_daemon->daemon.log()); }
  std::string EngineLine() const { return console_.substr(0, console_.find('\n')); }

  TempDir dir_;
  std::string files_, eicar_, report_, console_;
};

TEST_F(BridgeClamdTest, CleanFolderWithoutSubIsScannedByTheDaemonAtTheTopOnly) {
  EXPECT_EQ(Run({files_, "/report", report_}), 0) << console_;
  EXPECT_TRUE(Has(EngineLine(), bridge::texts::kEngineDaemon)) << console_;
  EXPECT_TRUE(Has(console_, files_ + "/top.txt: OK")) << console_;
  EXPECT_FALSE(Has(console_, "below.txt")) << console_;
  // The daemon's log names what it scanned (the descriptor's file).
  EXPECT_TRUE(Has(Log(), files_ + "/top.txt: OK"));
  EXPECT_FALSE(Has(Log(), files_ + "/sub/below.txt"));
  EXPECT_TRUE(Has(ReadTextFile(report_), std::string(bridge::texts::kSummaryFiles) + "1"));

  // With /sub everything below, and the test file found there.
  WriteTextFile(files_ + "/sub/eicar.com", bridge_testing::EicarTestFile());
  EXPECT_EQ(Run({files_, "/sub"}), 13) << console_;
  EXPECT_TRUE(Has(Log(), files_ + "/sub/eicar.com: Eicar-Test-Signature"));
}

TEST_F(BridgeClamdTest, InfectedFileIsReportedAndMovedByTheBridge) {
  WriteTextFile(eicar_, bridge_testing::EicarTestFile());
  const std::string quarantine = dir_.Join("quarantine");
  fs::create_directories(quarantine);
  WriteTextFile(quarantine + "/eicar.com", "an earlier find\n");
  // Archives and mail asked for, as the daemon scans them: it may move.
  EXPECT_EQ(Run({files_, "/unzip", "/mime", "/move", quarantine, "/report", report_}), 13)
      << console_;
  EXPECT_TRUE(Has(EngineLine(), bridge::texts::kEngineDaemon)) << console_;
  const std::string report = ReadTextFile(report_);
  EXPECT_TRUE(Has(report, eicar_ + ": Eicar-Test-Signature")) << report;
  EXPECT_FALSE(Has(report, "top.txt")) << report;
  // Beside the earlier file of the same name, which stays as it was.
  EXPECT_FALSE(FileExists(eicar_));
  EXPECT_EQ(ReadTextFile(quarantine + "/eicar.com.001"), bridge_testing::EicarTestFile());
  EXPECT_EQ(ReadTextFile(quarantine + "/eicar.com"), "an earlier find\n");
  EXPECT_TRUE(Has(report, "moved to '" + quarantine + "/eicar.com.001'")) << report;
  EXPECT_TRUE(Has(Log(), eicar_ + ": Eicar-Test-Signature"));
}

TEST_F(BridgeClamdTest, OverTcpTheDataIsStreamed) {
  UseConfig(true);
  WriteTextFile(eicar_, bridge_testing::EicarTestFile());
  EXPECT_EQ(Run({eicar_, "/report", report_}), 13) << console_;
  EXPECT_TRUE(Has(EngineLine(), "127.0.0.1:" + g_daemon->daemon.config().tcpSocket)) << console_;
  EXPECT_TRUE(Has(ReadTextFile(report_), eicar_ + ": Eicar-Test-Signature")) << console_;
}

TEST_F(BridgeClamdTest, ClamscanTakesOverWithTheSameResultAndSaysWhy) {
  WriteTextFile(eicar_, bridge_testing::EicarTestFile());
  struct Case {
    std::vector<std::string> args;
    std::string config;  // extra lines; "gone": a socket nobody listens on
    std::string reason;
  } cases[] = {
      {{"-d", g_daemon->dir.Join("signatures")}, "", bridge::texts::kEngineClamscanOptions},
      {{"/unzip"}, "ScanArchive no\n", bridge::texts::kEngineNoArchives},
      {{}, "gone", bridge::texts::kEngineNotAnswering},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    if (c.config == "gone") {
      WriteTextFile(dir_.Join("clamd.conf"), "LocalSocket " + dir_.Join("gone.sock") + "\n");
    } else {
      UseConfig(false, c.config);
    }
    std::vector<std::string> args = {files_, "/report", report_};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const std::string logBefore = Log();
    EXPECT_EQ(Run(args), 13) << console_;
    EXPECT_EQ(EngineLine().rfind(bridge::texts::kEngineClamscan + c.reason, 0), 0u) << console_;
    EXPECT_TRUE(Has(ReadTextFile(report_), eicar_ + ": Eicar-Test-Signature")) << console_;
    EXPECT_EQ(Log(), logBefore) << "the daemon scanned";
  }
}

// Answers PING, then closes every connection unanswered.
class DyingDaemon {
 public:
  explicit DyingDaemon(const std::string& path) {
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 16);
    thread_ = std::thread([this] {
      for (;;) {
        const int connection = accept(listener_, nullptr, nullptr);
        if (connection < 0 || stop_) break;
        char command[16] = {};
        if (recv(connection, command, sizeof command, 0) > 0 && std::string(command) == "zPING")
          send(connection, "PONG", 5, 0);
        close(connection);
      }
    });
  }
  ~DyingDaemon() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }

 private:
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(BridgeClamdTest, DaemonThatStopsAnsweringEndsWithTheReasonNotACleanResult) {
  const std::string socketPath = dir_.Join("dying.sock");
  DyingDaemon dying(socketPath);
  WriteTextFile(dir_.Join("clamd.conf"), "LocalSocket " + socketPath + "\n");
  EXPECT_EQ(Run({files_, "/sub", "/report", report_}), 2) << console_;
  EXPECT_TRUE(Has(EngineLine(), bridge::texts::kEngineDaemon)) << console_;
  EXPECT_TRUE(Has(ReadTextFile(report_), bridge::texts::kDaemonLost)) << console_;
  EXPECT_FALSE(Has(console_, ": OK")) << console_;
}

}  // namespace
