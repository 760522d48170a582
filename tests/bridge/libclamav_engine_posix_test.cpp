// ClamAV's library as the bridge's engine, with a database that knows only
// the EICAR test file: what each kind of file comes out as, what a file put
// in another's place comes out as, a database that cannot be loaded, and the
// worker processes of a scan of many files, one of them killed or stopped.
#include <clamav.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/child_processes_posix.h"
#include "bridge/engine.h"
#include "bridge/libclamav_engine_posix.h"
#include "bridge/texts.h"
#include "bridge/worker_pool_posix.h"
#include "gtest/gtest.h"
#include "tests/bridge/bridge_test_support.h"

namespace bridge {
namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::WriteTextFile;

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFF;
  for (const unsigned char byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

// A zip archive holding one file, stored as it is.
std::string StoredZip(const std::string& name, const std::string& data) {
  std::string zip;
  const auto put = [&](uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) zip += static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  const uint32_t crc = Crc32(data), size = static_cast<uint32_t>(data.size());
  const uint32_t nameSize = static_cast<uint32_t>(name.size());
  put(0x04034b50, 4), put(20, 2), put(0, 2 * 4), put(crc, 4), put(size, 4), put(size, 4);
  put(nameSize, 2), put(0, 2);
  zip += name + data;
  const uint32_t central = static_cast<uint32_t>(zip.size());
  put(0x02014b50, 4), put(20, 2), put(20, 2), put(0, 2 * 4), put(crc, 4), put(size, 4);
  put(size, 4), put(nameSize, 2), put(0, 2 * 4), put(0, 4), put(0, 4);
  zip += name;
  const uint32_t centralSize = static_cast<uint32_t>(zip.size()) - central;
  put(0x06054b50, 4), put(0, 4), put(1, 2), put(1, 2), put(centralSize, 4), put(central, 4);
  put(0, 2);
  return zip;
}

enum class Content { kText, kEicar, kEicarInZip, kSparse2MB, kSparse3GB };
// What happens to the path between the walk and the scan.
enum class Then { kNothing, kReplaced, kRemoved, kPipe };

void Make(const std::string& path, Content content) {
  switch (content) {
    case Content::kText:
      WriteTextFile(path, "nothing to see here\n");
      break;
    case Content::kEicar:
      WriteTextFile(path, bridge_testing::EicarTestFile());
      break;
    case Content::kEicarInZip:
      WriteTextFile(path, StoredZip("eicar.com", bridge_testing::EicarTestFile()));
      break;
    case Content::kSparse2MB:
    case Content::kSparse3GB: {
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(ftruncate(fd, content == Content::kSparse2MB ? 2 << 20 : 3LL << 30), 0);
      close(fd);
      break;
    }
  }
}

FileToScan Walked(const std::string& path) {
  struct stat info = {};
  EXPECT_EQ(stat(path.c_str(), &info), 0);
  return {path, path, {info.st_dev, info.st_ino, true}, static_cast<uint64_t>(info.st_size)};
}

struct Case {
  const char* name;
  Content content;
  bool unzip;
  std::optional<uint64_t> maxFileSize;
  Then then;
  Verdict::Kind kind;
  Shortfall shortfall;  // kIncomplete
};

constexpr Verdict::Kind kClean = Verdict::Kind::kClean;
constexpr Verdict::Kind kInfected = Verdict::Kind::kInfected;
constexpr Verdict::Kind kIncomplete = Verdict::Kind::kIncomplete;
constexpr Shortfall kAny = Shortfall::kEngineError;
constexpr Then kAsIs = Then::kNothing;

const Case kCases[] = {
    {"clean file", Content::kText, false, {}, kAsIs, kClean, kAny},
    {"EICAR", Content::kEicar, false, {}, kAsIs, kInfected, kAny},
    {"EICAR in a zip, archives not scanned", Content::kEicarInZip, false, {}, kAsIs, kClean, kAny},
    {"EICAR in a zip with /unzip", Content::kEicarInZip, true, {}, kAsIs, kInfected, kAny},
    {"over --max-filesize", Content::kSparse2MB, false, 1 << 20, kAsIs, kIncomplete,
     Shortfall::kFileSizeLimit},
    {"3 GB, ClamAV's own limit",
     Content::kSparse3GB,
     true,
     {},
     kAsIs,
     kIncomplete,
     Shortfall::kFileSizeLimit},
    {"3 GB, --max-filesize above it", Content::kSparse3GB, true, 5ULL << 30, kAsIs, kIncomplete,
     Shortfall::kFileSizeLimit},
    {"another file in its place",
     Content::kEicar,
     false,
     {},
     Then::kReplaced,
     kIncomplete,
     Shortfall::kChanged},
    {"a named pipe in its place",
     Content::kText,
     false,
     {},
     Then::kPipe,
     kIncomplete,
     Shortfall::kChanged},
    {"gone", Content::kText, false, {}, Then::kRemoved, kIncomplete, Shortfall::kGone},
};

TEST(LibclamavEngine, EachKindOfFile) {
  TempDir dir;
  bridge_testing::WriteEicarDatabase(dir.Join("db"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ScanRequest request;
    request.databases = {dir.Join("db")};
    if (c.unzip) request.Set(ScanSwitch::kArchives);
    request.maxFileSize = c.maxFileSize;
    std::string problem;
    const std::unique_ptr<Engine> engine = MakeLocalEngine(request, &problem);
    ASSERT_TRUE(engine) << problem;

    const std::string path = dir.Join("file");
    Make(path, c.content);
    const FileToScan file = Walked(path);
    if (c.then == Then::kReplaced) {
      WriteTextFile(dir.Join("other"), bridge_testing::EicarTestFile());
      ASSERT_EQ(std::rename(dir.Join("other").c_str(), path.c_str()), 0);
    }
    if (c.then == Then::kRemoved || c.then == Then::kPipe) {
      ASSERT_EQ(unlink(path.c_str()), 0);
    }
    if (c.then == Then::kPipe) {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }

    const Verdict verdict = engine->ScanOne(file);
    EXPECT_EQ(verdict.kind, c.kind) << verdict.virus << verdict.detail;
    if (c.kind == kIncomplete) {
      EXPECT_EQ(verdict.shortfall, c.shortfall) << verdict.detail;
    } else {
      EXPECT_EQ(verdict.scanned, file.identity);
    }
    if (c.kind == kInfected) {
      EXPECT_EQ(verdict.virus.rfind("Eicar-Test-Signature", 0), 0u) << verdict.virus;
    }
    unlink(path.c_str());
  }
}

TEST(LibclamavEngine, DatabaseOrNothing) {
  TempDir dir;
  bridge_testing::WriteEicarDatabase(dir.Join("db"));
  ScanRequest request;
  request.databases = {dir.Join("db")};
  std::string problem;
  const auto lines = VirusListLines(request, &problem);
  ASSERT_TRUE(lines) << problem;
  EXPECT_EQ(lines->back(), std::string(texts::kVirusListCount) + "1");

  std::filesystem::create_directories(dir.Join("empty"));
  request.databases = {dir.Join("empty")};
  EXPECT_FALSE(MakeLocalEngine(request, &problem));
  EXPECT_EQ(problem.rfind(texts::kErrorNoDatabase, 0), 0u) << problem;
  problem.clear();
  EXPECT_FALSE(VirusListLines(request, &problem));
  EXPECT_FALSE(problem.empty());
}

// This process's children, zombies included, by /proc.
// The child that holds the file open: the worker scanning it.
pid_t Scanning(const std::string& path) {
  for (const ChildProcess& child : ChildProcessesOf(getpid())) {
    std::error_code error;
    const std::filesystem::path fds = "/proc/" + std::to_string(child.pid) + "/fd";
    for (const auto& fd : std::filesystem::directory_iterator(fds, error))
      if (std::filesystem::read_symlink(fd.path(), error) == path) return child.pid;
  }
  return 0;
}

// A scan of many files runs in worker processes. One is killed, or stopped,
// while it scans a file that takes a while (90 MB of nothing, under ClamAV's
// own file size limit): that file is not completely scanned, for the right
// reason, every other file still gets its one right verdict, and no worker is
// left behind. The engine scanned in this process before, as the daemon's
// hand-over does. The worker is found from the sink: no other thread runs
// while workers are forked.
struct WorkerFault {
  int signal;
  std::chrono::milliseconds timeLimit;
  Shortfall shortfall;
  std::string detail;
};

TEST(LibclamavEngine, AWorkerEndedOrStoppedWhileScanning) {
  TempDir dir;
  bridge_testing::WriteEicarDatabase(dir.Join("db"));
  ScanRequest request;
  request.databases = {dir.Join("db")};
  std::string problem;
  const std::unique_ptr<Engine> engine = MakeLocalEngine(request, &problem);
  ASSERT_TRUE(engine) << problem;
  Make(dir.Join("before"), Content::kEicar);
  EXPECT_EQ(engine->ScanOne(Walked(dir.Join("before"))).kind, kInfected);
  const std::string slow = dir.Join("4");
  {
    const int fd = open(slow.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 90 << 20), 0);
    close(fd);
  }
  for (int i = 0; i < 60; ++i)
    if (dir.Join(std::to_string(i)) != slow)
      Make(dir.Join(std::to_string(i)), i % 4 ? Content::kText : Content::kEicar);

  const WorkerFault kFaults[] = {
      {SIGKILL, std::chrono::minutes(1), Shortfall::kEngineError,
       texts::kWorkerEndedBySignal + std::to_string(SIGKILL)},
      {SIGSTOP, std::chrono::seconds(2), Shortfall::kTimeLimit,
       texts::kWorkerTimedOut + std::string("2") + texts::kWorkerTimedOutEnd},
  };
  for (const WorkerFault& fault : kFaults) {
    SCOPED_TRACE(fault.signal);
    FileQueue queue(100);
    for (int i = 0; i < 60; ++i) queue.Push(Walked(dir.Join(std::to_string(i))));
    queue.Finish();
    WorkerPool workers(
        2, [&](const FileToScan& file) { return engine->ScanOne(file); }, fault.timeLimit);
    pid_t hit = 0;
    std::map<std::string, std::vector<Verdict>> verdicts;
    workers.ScanAll(queue, [&](const FileToScan& file, const Verdict& verdict) {
      verdicts[file.path].push_back(verdict);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
      while (!hit && verdicts.size() >= 2 && std::chrono::steady_clock::now() < deadline) {
        if (const pid_t worker = Scanning(slow); worker && kill(worker, fault.signal) == 0)
          hit = worker;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    ASSERT_NE(hit, 0) << "no worker was seen scanning " << slow;

    ASSERT_EQ(verdicts.size(), 60u);
    for (const auto& [path, got] : verdicts) {
      SCOPED_TRACE(path);
      ASSERT_EQ(got.size(), 1u);
      const Verdict& verdict = got.front();
      if (path == slow) {
        EXPECT_EQ(verdict.kind, kIncomplete);
        EXPECT_EQ(verdict.shortfall, fault.shortfall);
        EXPECT_EQ(verdict.detail, fault.detail);
      } else {
        EXPECT_EQ(verdict.kind,
                  std::stoi(path.substr(dir.Join("").size())) % 4 ? kClean : kInfected)
            << verdict.detail;
      }
    }
  }
  EXPECT_TRUE(ChildProcessesOf(getpid()).empty());
}

// A worker sends its verdicts several at a time. One that ends in the middle
// of a file takes only that file with it: the files it had scanned without
// sending their verdicts yet are scanned again, each gets one verdict.
TEST(LibclamavEngine, AWorkerThatEndsLosesOnlyTheFileItWasScanning) {
  const pid_t bridge = getpid();
  for (const unsigned count : {1u, 2u}) {
    SCOPED_TRACE(count);
    FileQueue queue(32);
    for (int i = 0; i < 12; ++i) {
      FileToScan file;
      file.path = file.systemPath = std::to_string(i);
      queue.Push(file);
    }
    queue.Finish();
    WorkerPool workers(
        count,
        [bridge](const FileToScan& file) {
          if (file.path == "5" && getpid() != bridge) raise(SIGKILL);
          return Verdict::Clean();
        },
        std::chrono::minutes(1));
    std::map<std::string, std::vector<Verdict>> verdicts;
    workers.ScanAll(queue, [&](const FileToScan& file, const Verdict& verdict) {
      verdicts[file.path].push_back(verdict);
    });
    ASSERT_EQ(verdicts.size(), 12u);
    for (const auto& [path, got] : verdicts) {
      SCOPED_TRACE(path);
      ASSERT_EQ(got.size(), 1u);
      EXPECT_EQ(got.front().kind, path == "5" ? kIncomplete : kClean) << got.front().detail;
    }
  }
  EXPECT_TRUE(ChildProcessesOf(getpid()).empty());
}

// The time limit is each file's: a verdict that waits to be sent with the
// next file's does not count the next file's time against it.
TEST(LibclamavEngine, EachSlowFileHasTheWholeTimeLimit) {
  FileQueue queue(4);
  for (const char* name : {"a", "b"}) {
    FileToScan file;
    file.path = file.systemPath = name;
    queue.Push(file);
  }
  queue.Finish();
  WorkerPool workers(
      1,
      [](const FileToScan&) {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        return Verdict::Clean();
      },
      std::chrono::seconds(3));
  std::map<std::string, Verdict::Kind> kinds;
  workers.ScanAll(queue, [&](const FileToScan& file, const Verdict& verdict) {
    kinds[file.path] = verdict.kind;
  });
  EXPECT_EQ(kinds, (std::map<std::string, Verdict::Kind>{{"a", kClean}, {"b", kClean}}));
}

// A worker process per core, all forked with one engine while the walk
// fills the queue: every file gets its own verdict.
TEST(LibclamavEngine, WorkersShareTheEngine) {
  TempDir dir;
  bridge_testing::WriteEicarDatabase(dir.Join("db"));
  ScanRequest request;
  request.databases = {dir.Join("db")};
  std::string problem;
  const std::unique_ptr<Engine> engine = MakeLocalEngine(request, &problem);
  ASSERT_TRUE(engine) << problem;
  // Forked before the walk runs, as the bridge does.
  engine->Start();
  FileQueue queue(4);
  std::thread walk([&] {
    for (int i = 0; i < 40; ++i) {
      const std::string path = dir.Join(std::to_string(i));
      Make(path, i % 4 ? Content::kText : Content::kEicar);
      queue.Push(Walked(path));
    }
    queue.Finish();
  });
  std::mutex mutex;
  int clean = 0, infected = 0, other = 0;
  engine->ScanAll(queue, [&](const FileToScan&, const Verdict& verdict) {
    const std::lock_guard<std::mutex> lock(mutex);
    ++(verdict.kind == kInfected ? infected : verdict.kind == kClean ? clean : other);
  });
  walk.join();
  EXPECT_EQ(clean, 30);
  EXPECT_EQ(infected, 10);
}

std::string Hex(const std::string& data) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : data) hex += {kDigits[c >> 4], kDigits[c & 15]};
  return hex;
}

std::string Md5(const std::string& data) {
  unsigned int size = 0;
  unsigned char* digest = cl_hash_data("md5", data.data(), data.size(), nullptr, &size);
  const std::string hex = Hex(std::string(reinterpret_cast<char*>(digest), size));
  free(digest);
  return hex;
}

// The signature database split among shards gives every file the fate one
// engine gives it, with signatures of every kind the tests can make: hashes
// (one cancelled by a false-positive entry), bodies (one ignored), logical
// signatures of two sub-signatures (a file with only one is clean). Four of
// each, so that every shard holds some of each kind. A shard that cannot be
// made leaves a single engine; when that cannot be made either, the scan
// cannot start, and no worker is left behind. A stop is looked for while
// the database loads.
TEST(LibclamavEngine, ShardsGiveEveryFileTheFateOfOneEngine) {
  TempDir dir;
  const std::string db = dir.Join("db");
  std::filesystem::create_directories(db);
  std::string hdb, fp, ndb, ldb;
  struct Row {
    std::string content;
    Verdict::Kind kind;
    std::string virus;
  };
  std::vector<Row> rows = {{"nothing to see here", kClean, ""},
                           {"QRV-LOGIC-A-0 only the first part", kClean, ""}};
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i);
    const std::string hashed = "a file known by its hash " + n;
    hdb += Md5(hashed) + ":" + std::to_string(hashed.size()) + ":Diff.Hash-" + n + "\n";
    ndb += "Diff.Body-" + n + ":0:*:" + Hex("QRV-BODY-" + n) + "\n";
    ldb += "Diff.Logic-" + n + ";Engine:51-255,Target:0;0&1;" + Hex("QRV-LOGIC-A-" + n) + ";" +
           Hex("QRV-LOGIC-B-" + n) + "\n";
    const bool cancelled = i == 3;
    if (cancelled) fp = Md5(hashed) + ":" + std::to_string(hashed.size()) + ":Diff.Hash-3\n";
    rows.push_back({hashed, cancelled ? kClean : kInfected, cancelled ? "" : "Diff.Hash-" + n});
    rows.push_back({"text QRV-BODY-" + n + " text", cancelled ? kClean : kInfected,
                    cancelled ? "" : "Diff.Body-" + n});
    rows.push_back({"QRV-LOGIC-B-" + n + " and QRV-LOGIC-A-" + n, kInfected, "Diff.Logic-" + n});
  }
  // A comment, a last line without its end, and a database given as a file.
  WriteTextFile(db + "/diff.hdb", "# hashes\n" + hdb);
  WriteTextFile(db + "/diff.fp", fp);
  WriteTextFile(db + "/diff.ndb", ndb.substr(0, ndb.size() - 1));
  WriteTextFile(dir.Join("own.ldb"), ldb);
  WriteTextFile(db + "/diff.ign2", "Diff.Body-3\n");
  for (size_t i = 0; i < rows.size(); ++i)
    WriteTextFile(dir.Join(std::to_string(i)), rows[i].content);

  ScanRequest request;
  request.databases = {db, dir.Join("own.ldb")};
  // The shards' shares of the plain files go to the temporary folder, and
  // are gone once loaded.
  const std::string temporary = dir.Join("tmp");
  std::filesystem::create_directories(temporary);
  const ScopedEnv temporaryFolder("TMPDIR", temporary);
  for (const unsigned shards : {1u, 2u, 3u}) {
    SCOPED_TRACE(shards);
    std::string problem;
    // The bridge looks for a stop while the database loads.
    int looks = 0;
    const std::unique_ptr<Engine> engine =
        MakeLibraryEngine(request, shards, &problem, [&looks] { ++looks; });
    ASSERT_TRUE(engine) << problem;
    EXPECT_GT(looks, 0);
    EXPECT_TRUE(std::filesystem::is_empty(temporary));
    EXPECT_EQ(ChildProcessesOf(getpid()).size(), shards > 1 ? shards : 0u);
    FileQueue queue(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) queue.Push(Walked(dir.Join(std::to_string(i))));
    queue.Finish();
    std::map<std::string, Verdict> verdicts;
    engine->ScanAll(queue, [&](const FileToScan& file, const Verdict& verdict) {
      EXPECT_TRUE(verdicts.emplace(file.path, verdict).second) << file.path;
    });
    ASSERT_EQ(verdicts.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
      SCOPED_TRACE(rows[i].content);
      const Verdict& verdict = verdicts[dir.Join(std::to_string(i))];
      EXPECT_EQ(verdict.kind, rows[i].kind) << verdict.detail;
      EXPECT_EQ(verdict.virus.substr(0, rows[i].virus.size()), rows[i].virus);
    }
    // One file at a time, as the daemon hands it over.
    EXPECT_EQ(engine->ScanOne(Walked(dir.Join("3"))).virus.rfind("Diff.Body-0", 0), 0u);
  }
  EXPECT_TRUE(ChildProcessesOf(getpid()).empty());

  WriteTextFile(db + "/broken.ndb", "Diff.Broken:0:*:not hex at all\n");
  std::string problem;
  EXPECT_FALSE(MakeLibraryEngine(request, 2, &problem));
  EXPECT_EQ(problem.rfind(texts::kErrorNoDatabase, 0), 0u) << problem;
  EXPECT_TRUE(ChildProcessesOf(getpid()).empty());
}

// How many shards: cores, the database's size and the memory decide.
TEST(LibclamavEngine, ShardsForCoresSignaturesAndMemory) {
  constexpr uint64_t kMiB = 1 << 20;
  const struct {
    unsigned cores;
    uint64_t signatures, memory;
    unsigned shards;
  } kRows[] = {
      {1, 4000000, 24000 * kMiB, 1},  {2, 1000, 24000 * kMiB, 1},  {2, 4000000, 24000 * kMiB, 2},
      {16, 4000000, 24000 * kMiB, 4}, {4, 1000000, 400 * kMiB, 2}, {4, 4000000, 500 * kMiB, 1},
  };
  for (const auto& row : kRows)
    EXPECT_EQ(ShardCount(row.cores, row.signatures, row.memory), row.shards)
        << row.cores << " cores, " << row.signatures << " signatures, " << row.memory;
}

}  // namespace
}  // namespace bridge
