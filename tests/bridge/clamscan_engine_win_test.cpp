// The Windows engine against the fake clamscan (QUORVEL_CLAMSCAN): the
// options a request gives it, the verdicts of one corpus of files as each
// family of ClamAV's releases names and encodes them, failures of clamscan
// and its absence.
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
       {"--alert-exceeds-max=yes", "--alert-encrypted=yes", "--scan-archive=no", "--scan-mail=no",
        "--scan-ole2=yes"},
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

// "<base>\<folder>\...\<name>", made through the long form.
std::string MakeDeepFile(const std::string& base, const Strings& folders, const std::string& name,
                         const std::string& content) {
  std::string path = base;
  for (const std::string& folder : folders) {
    path += "\\" + folder;
    CreateDirectoryW(Widen("\\\\?\\" + path).c_str(), nullptr);
  }
  path += "\\" + name;
  testing_support::WriteTextFile("\\\\?\\" + path, content);
  return path;
}

// A file held open by another program: for writing, sharing reading and
// writing (a log being written), or for nothing else at all.
class Held {
 public:
  Held(const std::string& path, bool exclusive)
      : handle_(CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                            exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr)) {}
  ~Held() { CloseHandle(handle_); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

TEST_F(ClamscanEngine, EveryReleaseFamilyGivesEachFileItsVerdict) {
  // As on a Chinese Windows (Wine with LANG=zh_CN.UTF-8, the locale made).
  EXPECT_EQ(GetOEMCP(), 936u);
  // The list lies in a temporary folder with an apostrophe and a blank.
  const std::string tempFolder = temp_.Join("O'Brien 临时");
  std::filesystem::create_directories(testing_support::FsPath(tempFolder));
  std::wstring oldTmp(32768, L'\0');
  oldTmp.resize(GetEnvironmentVariableW(L"TMP", oldTmp.data(), 32768));
  SetEnv("TMP", tempFolder);

  struct Case {
    FileToScan file;
    Verdict want;
  };
  const Verdict found = Verdict::Infected("Fake.Test");
  const std::string tooLong = bridge::texts::kClamscanPathTooLong;
  std::vector<Case> cases = {
      {File("clean.txt", "nothing here"), Verdict::Clean()},
      {File("病毒.com", "INFECTED!"), found},
      {File("中文 名字.txt", "INFECTED"), found},
      {File("empty.txt", ""), Verdict::Clean()},
      {File("huge.iso", "TOOBIG"), Verdict::Incomplete(Shortfall::kFileSizeLimit)},
      {File("secret.zip", "ENCRYPTED"), bridge::FromDetection("Heuristics.Encrypted.Zip")},
      {File("gone.txt", ""), Verdict::Incomplete(Shortfall::kUnreadable, "No such file")},
      {File("日志.log", "INFECTED"), found},
      {File("锁定.doc", "INFECTED"),
       Verdict::Incomplete(Shortfall::kUnreadable, "Permission denied")},
      // Alike in code page 936 ("?.com"): one infected, one locked.
      {File("\u0E01.com", "INFECTED"), found},
      {File("\u0E02.com", "x"), Verdict::Incomplete(Shortfall::kUnreadable, "Permission denied")},
      // Never mentioned by clamscan: not scanned.
      {File("silent.txt", "SKIP"),
       Verdict::Incomplete(Shortfall::kEngineError, bridge::texts::kClamscanNoAnswer)},
  };
  testing_support::WriteTextFile(temp_.Join("empty.txt"), "");
  // A target typed in another case than the disk's.
  testing_support::WriteTextFile(temp_.Join("case.txt"), "INFECTED");
  cases.push_back({File("CASE.TXT", ""), found});
  // A path over 260 characters, and one over 1022 bytes.
  std::string chinese;
  while (chinese.size() < 360) chinese += "长";
  for (const auto& [folder, want] :
       {std::pair{std::string(120, 'a'), found},
        std::pair{chinese, Verdict::Incomplete(Shortfall::kEngineError, tooLong)}}) {
    FileToScan file;
    file.path = MakeDeepFile(temp_.path(), {folder, folder, folder}, "long.txt", "INFECTED");
    file.systemPath = "\\\\?\\" + file.path;
    cases.push_back({file, want});
  }
  ASSERT_GT(cases[cases.size() - 2].file.path.size(), 260u);
  ASSERT_GT(cases.back().file.path.size(), 1024u);

  std::vector<FileToScan> files;
  for (const Case& c : cases) files.push_back(c.file);
  const Held log(temp_.Join("日志.log"), false), locked(temp_.Join("锁定.doc"), true),
      alike(temp_.Join("\u0E02.com"), true);
  ASSERT_TRUE(log.ok() && locked.ok() && alike.ok());
  const auto engine = Engine(Request({temp_.path(), "/sub"}));
  for (const char* family : {"1.0", "1.4.5", "1.5.0", "1.5.3"}) {
    SetEnv("QUORVEL_FAKE_CLAMSCAN_FAMILY", family);
    std::filesystem::remove(testing_support::FsPath(record_));
    auto verdicts = ScanAll(*engine, files);
    EXPECT_EQ(verdicts.size(), cases.size()) << family;
    for (const Case& c : cases) {
      const std::vector<Verdict>& got = verdicts[c.file.path];
      ASSERT_EQ(got.size(), 1u) << family << " " << c.file.path;
      EXPECT_EQ(got[0].kind, c.want.kind) << family << " " << c.file.path;
      EXPECT_EQ(got[0].virus, c.want.virus) << family << " " << c.file.path;
      if (c.want.kind == Kind::kIncomplete) {
        EXPECT_EQ(got[0].shortfall, c.want.shortfall) << family << " " << c.file.path;
        EXPECT_NE(got[0].detail.find(c.want.detail), std::string::npos) << got[0].detail;
      }
    }
    // One run for all, the list's name reaching clamscan whole; the two
    // files alike scanned again each on its own where they are alike.
    const auto runs = bridge_testing::ReadClamscanRuns(record_);
    ASSERT_EQ(runs.size(), std::string(family) < "1.5" ? 3u : 1u) << family;
    EXPECT_NE(std::find(runs[0].begin(), runs[0].end(), "--alert-encrypted=yes"), runs[0].end());
  }

  // clamscan failing: every file not scanned, never clean.
  SetEnv("QUORVEL_FAKE_CLAMSCAN_FAIL", "database");
  for (const auto& [path, got] : ScanAll(*engine, files)) {
    ASSERT_EQ(got.size(), 1u) << path;
    EXPECT_EQ(got[0].kind, Kind::kIncomplete) << path;
  }
  SetEnv("QUORVEL_FAKE_CLAMSCAN_FAMILY", "");
  SetEnv("TMP", Narrow(oldTmp));
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
