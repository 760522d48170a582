// The bridge program on Windows, started as the window starts its scanner,
// with a fake clamscan.exe: the wide argv arrives intact, a file whose path
// is longer than 260 characters is scanned and named, the report is UTF-8
// with its byte-order mark once, and the exit code crosses the process edge.
// Without clamscan.exe, a daemon over TCP (a fake one here) scans alone.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bridge/clamd_config.h"
#include "bridge/system.h"
#include "bridge/texts.h"
#include "bridge/windows_command_line.h"
#include "scan/scanner_process.h"
#include "tests/bridge/bridge_test_support.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
namespace fs = std::filesystem;

constexpr char kBom[] = "\xEF\xBB\xBF";

uint32_t RunProgram(const std::vector<std::string>& args) {
  ScannerProcess process;
  if (!process.Start(bridge::WindowsCommandLine(bridge_testing::BridgePath(), args))) return 0;
  uint32_t code = 0;
  return process.WaitForExitCode(&code) ? code : 0;
}

// A ClamAV daemon on a TCP port of this machine, as far as PING and
// INSTREAM (alone or in a session) go: data with "INFECTED" in it is
// Fake.Daemon. Each connection on a thread of its own, blocking.
class FakeTcpDaemon {
 public:
  FakeTcpDaemon() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    listen(listener_, 16);
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    accepter_ = std::thread([this] {
      for (;;) {
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        std::thread([client] { Serve(client); }).detach();
      }
    });
  }
  ~FakeTcpDaemon() {
    closesocket(listener_);
    accepter_.join();
  }
  int port() const { return port_; }

 private:
  static bool Read(SOCKET s, char* data, int size) {
    while (size > 0) {
      const int n = recv(s, data, size, 0);
      if (n <= 0) return false;
      data += n, size -= n;
    }
    return true;
  }
  static void Serve(SOCKET s) {
    bool session = false;
    unsigned id = 0;
    for (;;) {
      std::string command;
      char c;
      while (Read(s, &c, 1) && c != '\0') command += c;
      std::string reply;
      if (command == "zPING") {
        reply = "PONG";
      } else if (command == "zIDSESSION") {
        session = true;
        continue;
      } else if (command == "zINSTREAM") {
        std::string data;
        unsigned char length[4];
        while (Read(s, reinterpret_cast<char*>(length), 4)) {
          const int size = length[0] << 24 | length[1] << 16 | length[2] << 8 | length[3];
          if (size == 0) break;
          std::string chunk(size, '\0');
          if (!Read(s, chunk.data(), size)) break;
          data += chunk;
        }
        reply =
            data.find("INFECTED") != std::string::npos ? "stream: Fake.Daemon FOUND" : "stream: OK";
      } else {
        break;  // zEND, or the connection closed
      }
      if (session) reply = std::to_string(++id) + ": " + reply;
      send(s, reply.c_str(), static_cast<int>(reply.size() + 1), 0);
      if (!session) break;
    }
    closesocket(s);
  }

  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::thread accepter_;
};

TEST(BridgeProgramTest, ScansThroughADaemonOverTcpWithoutClamscan) {
  TempDir dir;
  FakeTcpDaemon daemon;
  SetEnv(bridge::kClamscanOverride, dir.Join("no clamscan.exe"));
  const std::string conf = dir.Join("clamd.conf");
  WriteTextFile(conf, "TCPSocket " + std::to_string(daemon.port()) + "\nTCPAddr 127.0.0.1\n");
  SetEnv(bridge::kClamdConfigOverride, conf);
  const std::string target = dir.Join("files"), report = dir.Join("report.txt");
  fs::create_directories(FsPath(target));
  fs::create_directories(FsPath(dir.Join("quarantine")));
  for (int i = 0; i < 40; ++i)
    WriteTextFile(target + "\\file" + std::to_string(i), i == 17 ? "INFECTED" : "nothing");
  const std::string infected = target + "\\file17";

  // The daemon looks into archives the request does not: with no local
  // engine to confirm its find, the find is moved as asked, and its line says so.
  const struct {
    std::vector<std::string> extra;
    const char* treatment;
    bool stays;
  } cases[] = {{{}, "", true},
               {{"/move", dir.Join("quarantine")}, bridge::texts::kTreatDeeperFind, false}};
  for (const auto& c : cases) {
    std::vector<std::string> args = {target, "/report", report};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(RunProgram(args), 13u);
    const std::string written = ReadTextFile(report);
    const size_t line = written.find(bridge::texts::kInfectedMark + infected + ": Fake.Daemon");
    ASSERT_NE(line, std::string::npos) << written;
    EXPECT_NE(written.find(std::string(c.treatment) + "\r\n", line), std::string::npos) << written;
    EXPECT_NE(written.find(std::string(bridge::texts::kSummaryFiles) + "40\r\n"), std::string::npos)
        << written;
    EXPECT_EQ(FileExists(infected), c.stays);
  }
  SetEnv(bridge::kClamscanOverride, "");
  SetEnv(bridge::kClamdConfigOverride, "");
}

TEST(BridgeProgramTest, ScansLongPathsAndWritesTheReportInUtf8) {
  TempDir dir;
  SetEnv(bridge::kClamscanOverride, bridge_testing::FakeClamscanPath());
  SetEnv(bridge::kClamdConfigOverride, dir.Join("no clamd.conf"));
  // A target with a blank and Chinese characters, as the folder browser
  // gives it: with a trailing separator.
  const std::string target = dir.Join("病毒 目标");
  std::string deep = target;
  while (deep.size() < 300) deep += "\\folder with a long name";
  fs::create_directories(FsPath("\\\\?\\" + deep));
  const std::string shallow = target + "\\infected.com", deepest = deep + "\\infected.com";
  WriteTextFile(shallow, "INFECTED near");
  std::ofstream(FsPath("\\\\?\\" + deepest)) << "INFECTED far";
  WriteTextFile(target + "\\clean.txt", "nothing");
  const std::string report = dir.Join("scan report.txt");

  EXPECT_EQ(RunProgram({target + "\\", "/sub", "/report", report}), 13u);
  std::string written = ReadTextFile(report);
  EXPECT_EQ(written.rfind(kBom, 0), 0u) << written;
  for (const std::string& path : {shallow, deepest})
    EXPECT_NE(written.find(bridge::texts::kInfectedMark + path + ": Fake.Test"), std::string::npos)
        << path << "\n"
        << written;
  EXPECT_NE(written.find(std::string(bridge::texts::kSummaryInfected) + "2\r\n"), std::string::npos)
      << written;

  // Added to, the report keeps its one mark at the start.
  EXPECT_EQ(RunProgram({target + "\\clean.txt", "/append", "/rptall", "/report", report}), 0u);
  written = ReadTextFile(report);
  EXPECT_EQ(written.find(kBom, 1), std::string::npos);
  EXPECT_NE(written.find(target + "\\clean.txt" + bridge::texts::kClean), std::string::npos)
      << written;
  SetEnv(bridge::kClamscanOverride, "");
  SetEnv(bridge::kClamdConfigOverride, "");
}

}  // namespace
