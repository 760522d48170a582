// The daemon engine on its own: verdicts from a real ClamAV daemon of the
// test's own (skipped where clamd is not installed), by descriptor and by
// stream; files past the daemon's limits; a daemon that dies or falls
// silent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <mutex>
#include <string>
#include <vector>

#include "bridge/clamd_engine.h"
#include "bridge/texts.h"
#include "tests/bridge/bridge_test_support.h"
#include "tests/bridge/own_clamd.h"
#include "tests/support/test_support.h"

namespace {

using namespace testing_support;
using bridge::FileToScan;
using bridge::Shortfall;
using bridge::Verdict;

// Small limits keep the files past them small: a file between 512K and 1M
// is taken by descriptor but not as a stream.
constexpr char kLimits[] = "MaxFileSize 1M\nStreamMaxLength 512K\nMaxScanSize 4M\n";

// The signatures and a daemon for the program's tests.
class DaemonEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (bridge_testing::OwnClamd::Program().empty()) {
      problem = "clamd is not installed";
      return;
    }
    bridge_testing::WriteEicarDatabase(Signatures(), true);
    daemon.SetLimits(kLimits);
    if (!daemon.Start(dir.path(), Signatures(), &problem)) daemon.Stop();
  }
  void TearDown() override { daemon.Stop(); }
  std::string Signatures() const { return dir.Join("signatures"); }

  TempDir dir;
  bridge_testing::OwnClamd daemon;
  std::string problem;
};
DaemonEnvironment* g_env =
    static_cast<DaemonEnvironment*>(::testing::AddGlobalTestEnvironment(new DaemonEnvironment));

// The local engine of a test: everything it is given is infected.
class LocalStub : public bridge::Engine {
 public:
  std::string Description() const override { return "stub"; }
  Verdict ScanOne(const FileToScan&) override {
    ++scanned;
    return Verdict::Infected("Local.Stub");
  }
  std::atomic<int> scanned{0};
};

FileToScan FileAt(const std::string& path) {
  struct stat status = {};
  stat(path.c_str(), &status);
  FileToScan file;
  file.path = file.systemPath = path;
  file.identity = {static_cast<uint64_t>(status.st_dev), static_cast<uint64_t>(status.st_ino),
                   true};
  file.size = static_cast<uint64_t>(status.st_size);
  return file;
}

// The EICAR file at the start of a sparse file of the size.
void WriteEicarAtStart(const std::string& path, off_t size) {
  WriteTextFile(path, bridge_testing::EicarTestFile());
  ASSERT_EQ(truncate(path.c_str(), size), 0);
}

struct Outcome {
  std::vector<Verdict> verdicts;  // in the order of the files
  std::vector<std::string> notes;
};

// One scan through a new engine; afterFirst runs once the first verdict is in.
Outcome Scan(const bridge::ClamdConfig& config, const std::vector<FileToScan>& files,
             bridge::Engine* local, const std::function<void()>& afterFirst = {},
             const bridge::ClamdWaits& waits = {}, const bridge::ScanRequest& request = {}) {
  Outcome outcome;
  std::mutex mutex;
  std::map<std::string, std::vector<Verdict>> verdicts;
  const auto engine = bridge::MakeDaemonEngine(
      config, request, [local] { return local; },
      [&](const std::string& line) {
        const std::lock_guard<std::mutex> lock(mutex);
        outcome.notes.push_back(line);
      },
      waits);
  bridge::FileQueue queue;
  for (const FileToScan& file : files) queue.Push(file);
  queue.Finish();
  engine->ScanAll(queue, [&](const FileToScan& file, const Verdict& verdict) {
    const std::lock_guard<std::mutex> lock(mutex);
    const bool first = verdicts.empty();
    verdicts[file.path].push_back(verdict);
    if (first && afterFirst) afterFirst();
  });
  for (const FileToScan& file : files) {
    EXPECT_EQ(verdicts[file.path].size(), 1u) << file.path;
    outcome.verdicts.push_back(verdicts[file.path].empty() ? Verdict{} : verdicts[file.path][0]);
  }
  return outcome;
}

bool IsEicar(const Verdict& verdict) {
  return verdict.kind == Verdict::Kind::kInfected &&
         verdict.virus.rfind("Eicar-Test-Signature", 0) == 0;
}

class DaemonEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!g_env->problem.empty()) GTEST_SKIP() << g_env->problem;
  }
  TempDir dir_;
};

TEST_F(DaemonEngineTest, VerdictsByDescriptorAndByStreamWithinTheDaemonsLimits) {
  WriteTextFile(dir_.Join("clean.txt"), "nothing\n");
  WriteTextFile(dir_.Join("eicar.com"), bridge_testing::EicarTestFile());
  WriteEicarAtStart(dir_.Join("big.com"), (1 << 20) + 1);  // past MaxFileSize
  WriteEicarAtStart(dir_.Join("mid.com"), 600 << 10);      // past StreamMaxLength only
  FileToScan gone = FileAt(dir_.Join("clean.txt"));
  gone.path = gone.systemPath = dir_.Join("gone.txt");
  // The walk saw another file at this path.
  FileToScan replaced = FileAt(dir_.Join("clean.txt"));
  replaced.identity.file += 1;

  enum Local { kNone, kStub };
  const Verdict stubbed = Verdict::Infected("Local.Stub");
  const Verdict eicar = Verdict::Infected("Eicar-Test-Signature");
  const struct Case {
    const char* name;
    FileToScan file;
    bool tcp;
    Local local;
    Verdict expected;  // for the daemon's EICAR: any name of it
  } cases[] = {
      {"clean", FileAt(dir_.Join("clean.txt")), false, kNone, Verdict::Clean()},
      {"clean, stream", FileAt(dir_.Join("clean.txt")), true, kNone, Verdict::Clean()},
      {"eicar", FileAt(dir_.Join("eicar.com")), false, kNone, eicar},
      {"eicar, stream", FileAt(dir_.Join("eicar.com")), true, kNone, eicar},
      // Never "OK" for a file the daemon would not scan whole.
      {"big", FileAt(dir_.Join("big.com")), false, kNone,
       Verdict::Incomplete(Shortfall::kFileSizeLimit)},
      {"big, stream", FileAt(dir_.Join("big.com")), true, kNone,
       Verdict::Incomplete(Shortfall::kFileSizeLimit)},
      {"big, local", FileAt(dir_.Join("big.com")), false, kStub, stubbed},
      {"mid", FileAt(dir_.Join("mid.com")), false, kNone, eicar},
      {"mid, stream", FileAt(dir_.Join("mid.com")), true, kNone,
       Verdict::Incomplete(Shortfall::kFileSizeLimit)},
      {"mid, stream, local", FileAt(dir_.Join("mid.com")), true, kStub, stubbed},
      // Checked by the bridge before the daemon sees them.
      {"gone", gone, false, kNone, Verdict::Incomplete(Shortfall::kGone)},
      {"replaced", replaced, false, kNone, Verdict::Incomplete(Shortfall::kChanged)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bridge::ClamdConfig config = g_env->daemon.config();
    if (c.tcp) config.localSocket.clear();
    LocalStub stub;
    const Outcome outcome = Scan(config, {c.file}, c.local == kStub ? &stub : nullptr);
    const Verdict& verdict = outcome.verdicts[0];
    EXPECT_EQ(verdict.kind, c.expected.kind) << verdict.virus << verdict.detail;
    if (c.expected.virus == "Eicar-Test-Signature") {
      EXPECT_TRUE(IsEicar(verdict)) << verdict.virus;
    } else {
      EXPECT_EQ(verdict.virus, c.expected.virus);
    }
    if (verdict.kind == Verdict::Kind::kIncomplete) {
      EXPECT_EQ(verdict.shortfall, c.expected.shortfall) << verdict.detail;
    } else if (c.local == kNone) {
      // The daemon's verdict names the file it scanned.
      EXPECT_TRUE(verdict.scanned == c.file.identity);
    }
    EXPECT_EQ(stub.scanned, c.local == kStub ? 1 : 0);
    EXPECT_TRUE(outcome.notes.empty());
  }
}

TEST_F(DaemonEngineTest, ManyFilesInSessionsEachGetTheirOwnVerdict) {
  // Every seventh file infected, and one past StreamMaxLength among them:
  // the replies come in any order and are matched by their numbers.
  std::vector<FileToScan> files;
  for (int i = 0; i < 300; ++i) {
    const std::string path = dir_.Join("f" + std::to_string(i));
    WriteTextFile(path, i % 7 == 3 ? bridge_testing::EicarTestFile() : "nothing " + path);
    files.push_back(FileAt(path));
  }
  WriteEicarAtStart(dir_.Join("mid.com"), 600 << 10);
  files.insert(files.begin() + 150, FileAt(dir_.Join("mid.com")));
  for (const bool tcp : {false, true}) {
    SCOPED_TRACE(tcp ? "stream" : "descriptor");
    bridge::ClamdConfig config = g_env->daemon.config();
    if (tcp) config.localSocket.clear();
    const Outcome outcome = Scan(config, files, nullptr);
    for (size_t i = 0; i < files.size(); ++i) {
      const Verdict& verdict = outcome.verdicts[i];
      if (files[i].path == dir_.Join("mid.com")) {
        // Never streamed: not completely scanned, and the daemon not lost.
        EXPECT_EQ(verdict.kind, tcp ? Verdict::Kind::kIncomplete : Verdict::Kind::kInfected);
        continue;
      }
      const bool infected = ReadTextFile(files[i].path) == bridge_testing::EicarTestFile();
      EXPECT_EQ(IsEicar(verdict), infected) << files[i].path;
      if (!infected) {
        EXPECT_EQ(verdict.kind, Verdict::Kind::kClean) << files[i].path;
      }
      EXPECT_TRUE(verdict.scanned == files[i].identity) << files[i].path;
    }
    EXPECT_TRUE(outcome.notes.empty()) << outcome.notes[0];
  }
}

TEST_F(DaemonEngineTest, DaemonKilledAfterItsFirstVerdictIsGivenUpOnceForTheLocalEngine) {
  bridge_testing::OwnClamd own;
  own.SetLimits(kLimits);
  std::string problem;
  ASSERT_TRUE(own.Start(dir_.path(), g_env->Signatures(), &problem)) << problem;
  std::vector<FileToScan> files;
  WriteTextFile(dir_.Join("eicar.com"), bridge_testing::EicarTestFile());
  files.push_back(FileAt(dir_.Join("eicar.com")));
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    WriteTextFile(dir_.Join(name), "nothing\n");
    files.push_back(FileAt(dir_.Join(name)));
  }
  bridge::ClamdConfig config = own.config();
  // One file at a time: the kill falls between two.
  config.maxThreads = 1;
  config.maxQueue = 2;
  LocalStub stub;
  const Outcome outcome = Scan(config, files, &stub, [&] { own.Stop(); });
  EXPECT_TRUE(IsEicar(outcome.verdicts[0])) << outcome.verdicts[0].virus;
  for (size_t i = 1; i < files.size(); ++i) EXPECT_EQ(outcome.verdicts[i].virus, "Local.Stub");
  EXPECT_EQ(stub.scanned, 3);
  ASSERT_EQ(outcome.notes.size(), 1u);
  EXPECT_EQ(outcome.notes[0].rfind(bridge::texts::kDaemonLost, 0), 0u) << outcome.notes[0];
}

TEST(DaemonEngineSilentTest, DaemonThatNeverAnswersIsGivenUpAfterItsScanTime) {
  // Connections are taken into the queue of a socket nobody accepts from.
  TempDir dir;
  bridge::ClamdConfig config;
  config.localSocket = dir.Join("silent.sock");
  config.maxScanTimeMs = 500;
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  config.localSocket.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 16), 0);

  std::vector<FileToScan> files;
  for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
    WriteTextFile(dir.Join(name), "nothing\n");
    files.push_back(FileAt(dir.Join(name)));
  }
  bridge::ClamdWaits waits;
  waits.margin = std::chrono::milliseconds(500);
  const auto start = std::chrono::steady_clock::now();
  const Outcome outcome = Scan(config, files, nullptr, {}, waits);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  for (const Verdict& verdict : outcome.verdicts) {
    EXPECT_EQ(verdict.kind, Verdict::Kind::kIncomplete);
    EXPECT_EQ(verdict.shortfall, Shortfall::kDaemonLost);
  }
  ASSERT_EQ(outcome.notes.size(), 1u);
  EXPECT_EQ(outcome.notes[0],
            std::string(bridge::texts::kDaemonLostNoLocal) + bridge::texts::kDaemonTimeout);
  close(listener);
}

}  // namespace

namespace {

// A daemon of the test's own making on a Unix socket: it takes a session's
// FILDES requests and gives, for the n-th, the text reply(n) as it is (its
// NUL included or not).
class FakeDaemon {
 public:
  FakeDaemon(const std::string& path, std::function<std::string(int)> reply)
      : reply_(std::move(reply)) {
    listener_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener_, 4);
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeDaemon() {
    done_ = true;
    thread_.join();
    close(listener_);
  }

 private:
  void Serve() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int n = 0;
    while (!done_ && std::chrono::steady_clock::now() < deadline) {
      pollfd wait = {listener_, POLLIN, 0};
      if (poll(&wait, 1, 100) <= 0) continue;
      const int connection = accept(listener_, nullptr, nullptr);
      std::string in;
      while (!done_ && std::chrono::steady_clock::now() < deadline) {
        pollfd ready = {connection, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t got =
            read(connection, buffer, sizeof buffer);  // a passed descriptor is dropped
        if (got <= 0) break;
        in.append(buffer, static_cast<size_t>(got));
        static constexpr char kRequest[] = "zFILDES";
        for (size_t at; (at = in.find(kRequest, 0, sizeof kRequest)) != std::string::npos &&
                        in.size() > at + sizeof kRequest;) {
          in.erase(0, at + sizeof kRequest + 1);
          const std::string text = reply_(++n);
          send(connection, text.data(), text.size(), MSG_NOSIGNAL);
        }
      }
      close(connection);
    }
  }

  std::function<std::string(int)> reply_;
  int listener_ = -1;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace

TEST(DaemonEngineFakeTest, RepliesAreTheDaemonsOwnAndNeverForgedOrTrustedBeyondWhatTheyTell) {
  using namespace std::string_literals;
  TempDir dir;
  bridge::ClamdConfig config;
  config.localSocket = dir.Join("fake.sock");
  config.maxThreads = 1;  // one request at a time
  config.maxQueue = 2;
  config.maxScanTimeMs = 500;
  WriteTextFile(dir.Join("a.txt"), "nothing\n");
  WriteTextFile(dir.Join("b.txt"), "nothing\n");
  WriteTextFile(dir.Join("c.zip"), "PK\x03\x04 an archive");
  bridge::ScanRequest unzip;
  unzip.Set(ScanSwitch::kArchives);
  const Verdict clean = Verdict::Clean(), lost = Verdict::Incomplete(Shortfall::kDaemonLost);
  const std::string forged = "Evil\n" + dir.Join("b.txt") + ": OK\n2: fd[3]: OK";
  const struct {
    const char* name;
    std::function<std::string(int)> reply;
    std::vector<std::string> files;
    std::vector<Verdict> expected;
    bool local = false;
  } cases[] = {
      {"line breaks in a name",
       [&](int n) { return n == 1 ? "1: fd[3]: " + forged + " FOUND\0"s : "2: fd[3]: OK\0"s; },
       {"a.txt", "b.txt"},
       {Verdict::Infected(forged), clean}},
      {"an id past 32 bits", [](int) { return "4294967297: fd[3]: OK\0"s; }, {"a.txt"}, {lost}},
      {"an id not sent", [](int) { return "2: fd[3]: OK\0"s; }, {"a.txt"}, {lost}},
      {"no end", [](int) { return std::string(70000, 'A'); }, {"a.txt"}, {lost}},
      // The file is written to before its reply.
      {"changed while scanned",
       [&](int) {
         std::ofstream(dir.Join("a.txt"), std::ios::app) << "more\n";
         return "1: fd[3]: OK\0"s;
       },
       {"a.txt"},
       {Verdict::Incomplete(Shortfall::kChanged)}},
      // This daemon does not say when it passed over a part of an archive.
      {"archive",
       [](int) { return "1: fd[3]: OK\0"s; },
       {"c.zip"},
       {Verdict::Incomplete(Shortfall::kDaemonPartial)}},
      {"archive, local",
       [](int) { return "1: fd[3]: OK\0"s; },
       {"c.zip"},
       {Verdict::Infected("Local.Stub")},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<FileToScan> files;
    for (const std::string& name : c.files) files.push_back(FileAt(dir.Join(name)));
    LocalStub stub;
    const FakeDaemon daemon(config.localSocket, c.reply);
    bridge::ClamdWaits waits;
    waits.margin = std::chrono::milliseconds(500);
    const Outcome outcome = Scan(config, files, c.local ? &stub : nullptr, {}, waits, unzip);
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(outcome.verdicts[i].kind, c.expected[i].kind) << outcome.verdicts[i].detail;
      EXPECT_EQ(outcome.verdicts[i].virus, c.expected[i].virus);
      EXPECT_EQ(outcome.verdicts[i].shortfall, c.expected[i].shortfall);
    }
    // A reply that is no answer gives the daemon up with one line, no control character in it.
    EXPECT_EQ(outcome.notes.size(), c.expected[0].shortfall == Shortfall::kDaemonLost ? 1u : 0u);
    for (const std::string& note : outcome.notes)
      EXPECT_EQ(note.find_first_of("\n\r\x1b"), std::string::npos) << note;
    unlink(config.localSocket.c_str());
  }
}
