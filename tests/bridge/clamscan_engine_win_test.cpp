// The Windows engine against the fake clamscan (QUORVEL_CLAMSCAN): the
// options a request gives it, the verdicts of a folder's files, a path too
// long for the system's ordinary calls, failures of clamscan and its absence.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "base/utf_win.h"
#include "bridge/engine.h"
#include "bridge/scan_request.h"
#include "bridge/texts.h"
#include "tests/bridge/bridge_test_support.h"

namespace {

using bridge::FileToScan;
using bridge::Shortfall;
using bridge::Verdict;
using Kind = bridge::Verdict::Kind;
using Strings = std::vector<std::string>;
using testing_support::SetEnv;

class ClamscanEngine : public testing::Test {
 protected:
  void SetUp() override {
    record_ = temp_.Join("record.txt");
    SetEnv("QUORVEL_CLAMSCAN", bridge_testing::FakeClamscanPath());
    SetEnv("QUORVEL_FAKE_CLAMSCAN_RECORD", record_);
    SetEnv("QUORVEL_FAKE_CLAMSCAN_FAIL", "");
  }
  void TearDown() override {
    SetEnv("QUORVEL_CLAMSCAN", "");
    SetEnv("QUORVEL_FAKE_CLAMSCAN_RECORD", "");
    SetEnv("QUORVEL_FAKE_CLAMSCAN_FAIL", "");
  }

  static bridge::ScanRequest Request(Strings args) {
    const bridge::RequestResult read = bridge::ReadRequest(args, bridge::PathStyle::kWindows);
    EXPECT_TRUE(read.ok()) << read.error;
    return read.request;
  }

  std::unique_ptr<bridge::Engine> Engine(const bridge::ScanRequest& request) {
    std::string problem;
    std::unique_ptr<bridge::Engine> engine = bridge::MakeLocalEngine(request, &problem);
    EXPECT_TRUE(engine) << problem;
    return engine;
  }

  FileToScan File(const std::string& name, const std::string& content) {
    FileToScan file;
    file.path = temp_.Join(name);
    file.systemPath = "\\\\?\\" + file.path;
    if (!content.empty()) testing_support::WriteTextFile(file.path, content);
    return file;
  }

  // Every file through ScanAll; the verdicts by path.
  std::map<std::string, std::vector<Verdict>> ScanAll(bridge::Engine& engine,
                                                      const std::vector<FileToScan>& files) {
    bridge::FileQueue queue;
    for (const FileToScan& file : files) queue.Push(file);
    queue.Finish();
    std::map<std::string, std::vector<Verdict>> verdicts;
    engine.ScanAll(queue, [&](const FileToScan& file, const Verdict& verdict) {
      verdicts[file.path].push_back(verdict);
    });
    return verdicts;
  }

  testing_support::TempDir temp_;
  std::string record_;
};

TEST_F(ClamscanEngine, RequestBecomesClamscanOptions) {
  struct Case {
    Strings args;
    Strings present;
    Strings absent;
  };
  const std::vector<Case> cases = {
      {{"C:\\x"},
       {"--alert-exceeds-max=yes", "--scan-archive=no", "--scan-mail=no", "--scan-ole2=yes"},
       {}},
      {{"C:\\x", "/unzip", "/mime", "/nodoc"},
       {"--scan-archive=yes", "--scan-mail=yes", "--scan-ole2=no"},
       {}},
      {{"C:\\x", "/sub", "/del", "-d", "C:\\my db", "--database=D:\\two", "--max-filesize=2M",
        "--max-scansize=1G"},
       {"--database=C:\\my db", "--database=D:\\two", "--max-filesize=2097152",
        "--max-scansize=1073741824"},
       {}},
      {{"C:\\x", "/move", "C:\\quarantine"}, {}, {}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(testing_support::FsPath(record_));
    const Verdict verdict = Engine(Request(c.args))->ScanOne(File("one.txt", "clean"));
    EXPECT_EQ(verdict.kind, Kind::kClean);
    const auto runs = bridge_testing::ReadClamscanRuns(record_);
    ASSERT_EQ(runs.size(), 1u);
    const Strings& got = runs.front();
    for (const std::string& option : c.present)
      EXPECT_NE(std::find(got.begin(), got.end(), option), got.end()) << option;
    // No recursion, no treatment of clamscan's own, exactly one file.
    for (const std::string& arg : got)
      for (const char* never :
           {"-r", "--recursive", "--move", "--remove", "--copy", "--no-summary"})
        EXPECT_NE(arg.rfind(never, 0), 0u) << arg;
    EXPECT_EQ(
        std::count_if(got.begin(), got.end(),
                      [](const std::string& arg) { return arg.rfind("--file-list=", 0) == 0; }),
        1);
    EXPECT_EQ(got.back(), "--listed-- " + temp_.Join("one.txt"));
  }
}

// A folder "<temp>\<120 x a>\<120 x b>\long.txt", made through the long form.
std::string MakeLongPath(const std::string& base, const std::string& content) {
  std::string path = base;
  for (const char c : {'a', 'b'}) {
    path += "\\" + std::string(120, c);
    CreateDirectoryW(Widen("\\\\?\\" + path).c_str(), nullptr);
  }
  path += "\\long.txt";
  const HANDLE file = CreateFileW(Widen("\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return path;
}

void RemoveLongPath(const std::string& path) {
  DeleteFileW(Widen("\\\\?\\" + path).c_str());
  std::string folder = path;
  for (int i = 0; i < 2; ++i) {
    folder.erase(folder.find_last_of('\\'));
    RemoveDirectoryW(Widen("\\\\?\\" + folder).c_str());
  }
}

TEST_F(ClamscanEngine, EveryFileOfTheListGetsItsVerdict) {
  struct Case {
    FileToScan file;
    Kind kind;
    std::string virusOrDetail;
    Shortfall shortfall = Shortfall::kEngineError;
  };
  std::vector<Case> cases = {
      {File("clean.txt", "nothing here"), Kind::kClean, ""},
      {File("virus.exe", "INFECTED!"), Kind::kInfected, "Fake.Test"},
      {File("huge.iso", "TOOBIG"), Kind::kIncomplete, "", Shortfall::kFileSizeLimit},
      {File("locked.doc", "DENIED"), Kind::kIncomplete, "Access denied", Shortfall::kUnreadable},
      {File("gone.txt", ""), Kind::kIncomplete, "No such file", Shortfall::kUnreadable},
      {File("中文 名字.txt", "INFECTED"), Kind::kInfected, "Fake.Test"},
      // Never mentioned by clamscan: not scanned.
      {File("silent.txt", "SKIP"), Kind::kIncomplete, bridge::texts::kClamscanNoAnswer},
  };
  const std::string longPath = MakeLongPath(temp_.path(), "INFECTED");
  ASSERT_GE(longPath.size(), 260u);
  FileToScan longFile;
  longFile.path = longPath;
  longFile.systemPath = "\\\\?\\" + longPath;
  cases.push_back({longFile, Kind::kInfected, "Fake.Test"});

  std::vector<FileToScan> files;
  for (const Case& c : cases) files.push_back(c.file);
  const auto engine = Engine(Request({temp_.path(), "/sub"}));
  auto verdicts = ScanAll(*engine, files);
  EXPECT_EQ(verdicts.size(), cases.size());
  for (const Case& c : cases) {
    const std::vector<Verdict>& got = verdicts[c.file.path];
    ASSERT_EQ(got.size(), 1u) << c.file.path;
    EXPECT_EQ(got[0].kind, c.kind) << c.file.path;
    if (c.kind == Kind::kInfected) {
      EXPECT_EQ(got[0].virus, c.virusOrDetail);
    }
    if (c.kind == Kind::kIncomplete) {
      EXPECT_EQ(got[0].shortfall, c.shortfall) << c.file.path;
      EXPECT_NE(got[0].detail.find(c.virusOrDetail), std::string::npos) << got[0].detail;
    }
  }
  // One run for all; the long path given in its long form.
  const auto runs = bridge_testing::ReadClamscanRuns(record_);
  ASSERT_EQ(runs.size(), 1u);
  const Strings& got = runs.front();
  EXPECT_NE(std::find(got.begin(), got.end(), "--listed-- \\\\?\\" + longPath), got.end());
  EXPECT_NE(std::find(got.begin(), got.end(), "--listed-- " + temp_.Join("clean.txt")), got.end());

  // clamscan failing: every file not scanned, never clean.
  for (const auto& [fail, detail, shortfall] :
       {std::tuple{"database", std::string(bridge::texts::kErrorNoDatabase),
                   Shortfall::kEngineError},
        std::tuple{"open", std::string("Can't open file"), Shortfall::kUnreadable}}) {
    SetEnv("QUORVEL_FAKE_CLAMSCAN_FAIL", fail);
    verdicts = ScanAll(*engine, files);
    EXPECT_EQ(verdicts.size(), cases.size());
    for (const auto& [path, got] : verdicts) {
      ASSERT_EQ(got.size(), 1u) << path;
      EXPECT_EQ(got[0].kind, Kind::kIncomplete) << fail << " " << path;
      EXPECT_EQ(got[0].shortfall, shortfall) << fail << " " << path;
      EXPECT_NE(got[0].detail.find(detail), std::string::npos) << got[0].detail;
    }
  }
  RemoveLongPath(longPath);
}

TEST_F(ClamscanEngine, MissingClamscanIsTheProblemShown) {
  const bridge::ScanRequest request = Request({"C:\\x"});
  std::string problem;
  const auto lines = bridge::VirusListLines(request, &problem);
  ASSERT_TRUE(lines.has_value());
  EXPECT_EQ(lines->back(), bridge::texts::kVirusListCount + std::string("8675309"));
  EXPECT_NE(Engine(request)->Description().find(bridge_testing::FakeClamscanPath()),
            std::string::npos);

  const std::string missing = temp_.Join("no-clamscan.exe");
  SetEnv("QUORVEL_CLAMSCAN", missing);
  EXPECT_FALSE(bridge::MakeLocalEngine(request, &problem));
  EXPECT_EQ(problem, bridge::texts::kErrorOverrideMissing + missing);
  problem.clear();
  EXPECT_FALSE(bridge::VirusListLines(request, &problem));
  EXPECT_EQ(problem, bridge::texts::kErrorOverrideMissing + missing);
}

}  // namespace
